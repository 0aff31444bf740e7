#!/usr/bin/env bash
# Builds everything and runs every test: a normal build, the lint pass (format
# and clang-tidy, on the normal build), an AddressSanitizer + UBSan build, every
# fuzz target for a short fixed time (clang, ASan + UBSan), and the transfer
# component under ThreadSanitizer.
# QUILL_TEST_PASSES="normal lint asan fuzz tsan" chooses the passes;
# FUZZ_SECONDS the time per fuzz target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Tests that need a real X server (capture, clipboard) use this one.
# Xvfb picks a free display number itself, so parallel runs never share one.
if [[ -z "${QUILL_X_DISPLAY:-}" ]]; then
    XVFB_FIFO=$(mktemp -u)
    mkfifo "$XVFB_FIFO"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$XVFB_FIFO" >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null || true; rm -f "$XVFB_FIFO"' EXIT
    if read -r -t 20 XVFB_DISPLAY <"$XVFB_FIFO"; then
        export QUILL_X_DISPLAY=:$XVFB_DISPLAY
    else
        echo "warning: Xvfb did not start; tests that need X will skip" >&2
    fi
fi

JOBS=$(nproc)
status=0
run_pass() {
    local name=$1 dir=$2
    shift 2
    echo "== $name build"
    BUILD_DIR=$dir scripts/build.sh "$@"
    echo "== $name tests"
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 300 ${CTEST_ARGS:-}) || fail "$name"
}
failed=()
fail() {
    status=1
    failed+=("$1")
}

NORMAL_FLAGS=(-DQUILL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_TESTS=ON -DQUILL_BENCH=ON)
for pass in ${QUILL_TEST_PASSES:-normal lint asan fuzz tsan}; do
    case $pass in
    normal) run_pass normal build "${NORMAL_FLAGS[@]}" ;;
    lint)
        echo "== lint"
        # Needs the normal build's compile commands and generated headers.
        BUILD_DIR=build scripts/build.sh "${NORMAL_FLAGS[@]}" >/dev/null
        BUILD_DIR=build scripts/lint.sh || fail lint ;;
    asan)
        # LeakSanitizer's own tracer now and then crashes at exit while the
        # media library's threads wind down (the test itself has passed): a
        # failed test gets one more run here, and a real fault fails twice.
        ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            CTEST_ARGS="--repeat until-pass:2 ${CTEST_ARGS:-}" \
            run_pass asan build-asan -DQUILL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=address,undefined -DQUILL_TESTS=ON -DQUILL_BENCH=OFF ;;
    fuzz)
        echo "== fuzz targets"
        FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/fuzz.sh || fail fuzz ;;
    tsan)
        # Only the transfer component's tests are built here, so their program
        # runs directly: ctest would also try to list the programs not built.
        echo "== tsan build"
        BUILD_DIR=build-tsan BUILD_TARGETS=quill_http_tests scripts/build.sh \
            -DQUILL_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=thread -DQUILL_TESTS=ON -DQUILL_BENCH=OFF
        echo "== tsan tests"
        TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1" QT_QPA_PLATFORM=offscreen TZ=UTC \
            build-tsan/tests/http/quill_http_tests --gtest_brief=1 || fail tsan ;;
    esac
done
# The log is long: say at its end which passes failed.
if ((status != 0)); then
    echo "== failed passes: ${failed[*]}"
fi
exit $status
