#!/usr/bin/env bash
# Builds Quillmate and starts it. Without a display it starts a virtual one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: starting the program under Xvfb on :97"
    exec xvfb-run -n 97 -s "-screen 0 1280x800x24" build/src/app/quillmate "$@"
fi
exec build/src/app/quillmate "$@"
