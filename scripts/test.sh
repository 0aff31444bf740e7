#!/usr/bin/env bash
# Builds everything and runs every test: a normal build, an AddressSanitizer +
# UBSan build, and the transfer component under ThreadSanitizer.
# QUILL_TEST_PASSES="normal asan tsan" chooses the passes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Tests that need a real X server (capture, clipboard) use this one.
if [[ -z "${QUILL_X_DISPLAY:-}" ]]; then
    Xvfb :98 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
    export QUILL_X_DISPLAY=:98
fi

JOBS=$(nproc)
status=0
run_pass() {
    local name=$1 dir=$2
    shift 2
    echo "== $name build"
    BUILD_DIR=$dir scripts/build.sh "$@"
    echo "== $name tests"
    (cd "$dir" && ctest --output-on-failure -j "$JOBS" --timeout 300 ${CTEST_ARGS:-}) || status=1
}

for pass in ${QUILL_TEST_PASSES:-normal asan tsan}; do
    case $pass in
    normal) run_pass normal build -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    asan)
        ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            run_pass asan build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=address,undefined -DQUILL_BENCH=OFF ;;
    tsan)
        TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1" \
            BUILD_TARGETS=quill_http_tests CTEST_ARGS="-R ^Http" \
            run_pass tsan build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=thread -DQUILL_BENCH=OFF ;;
    esac
done
exit $status
