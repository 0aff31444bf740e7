#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan, coverage
# on our libraries) and runs each for a bounded time.
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_TARGETS  targets to run (default: every *_fuzz target)
#   BUILD_DIR     build folder (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILL_FUZZ=ON -DQUILL_WERROR=ON -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF \
    -DQUILL_SANITIZE=address,undefined,fuzzer-no-link >/dev/null

targets=${FUZZ_TARGETS:-$(ninja -C "$BUILD_DIR" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_fuzz\): .*/\1/p' | grep -v '^cmake_' | sort -u)}
cmake --build "$BUILD_DIR" --target $targets

status=0
for t in $targets; do
    exe=$(find "$BUILD_DIR/fuzz" -type f -name "$t" -perm -u+x | head -n1)
    corpus="$BUILD_DIR/corpus/$t"
    mkdir -p "$corpus"
    # Checked-in seeds (fuzz/<folder>/seeds/<target>) join the corpus once.
    for seeds in fuzz/*/seeds/"$t"; do
        if [[ -d $seeds ]]; then cp -n "$seeds"/* "$corpus"/; fi
    done
    echo "== $t for ${SECONDS_EACH}s"
    "$exe" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$BUILD_DIR/$t-" "$corpus" || status=1
done
exit $status
