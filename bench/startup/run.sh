#!/usr/bin/env bash
# Builds and runs the start-up comparison on a private Xvfb display.
#   bench/startup/run.sh [runs] [idle-ms]
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
BUILD_DIR=$BUILD_DIR BUILD_TARGETS=quill_startup_bench scripts/build.sh -DQUILL_BENCH=ON >/dev/null

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r -t 20 display <"$fifo"
DISPLAY=:$display "$BUILD_DIR/bench/startup/quill_startup_bench" "$@"
