#!/usr/bin/env bash
# Builds Quillmate and starts it. Without a display it starts a virtual one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF
program=${BUILD_DIR:-build}/src/app/quillmate
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: starting the program under Xvfb"
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$@"
fi
exec "$program" "$@"
