#!/usr/bin/env bash
# Starts Quillmate under a private Xvfb display and writes a PNG of its window.
#   scripts/screenshot.sh OUT.png [program arguments...]
# BUILD_DIR      build folder (default build/), built first when out of date
# QUILL_SHOT_HOME  a home folder to run with (settings, data); default: a fresh
#                one, so the window shows its first-run state
# QUILL_SHOT_DELAY seconds to wait after the window appears (default 1)
# QUILL_SHOT_SIZE  screen size (default 1280x800)
# QUILL_SHOT_NO_BUILD=1 skips the build step
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -lt 1 ]]; then
    echo "usage: $0 OUT.png [program arguments...]" >&2
    exit 2
fi
out=$1
shift
[[ $out == /* ]] || out=$PWD/$out
mkdir -p "$(dirname "$out")"

BUILD_DIR=${BUILD_DIR:-build}
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || scripts/deps.sh
done
program=$BUILD_DIR/src/app/quillmate
if [[ -z ${QUILL_SHOT_NO_BUILD:-} ]] &&
    ! BUILD_DIR=$BUILD_DIR BUILD_TARGETS=quillmate scripts/build.sh >"${TMPDIR:-/tmp}/quill-shot-build.log" 2>&1; then
    [[ -x $program ]] || { tail -n 30 "${TMPDIR:-/tmp}/quill-shot-build.log" >&2; exit 1; }
    echo "warning: the build failed; using the program built before" >&2
fi
program=$(realpath "$program")

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    local status=$?
    if [[ -n $app_pid ]]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and reports it on the pipe.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${QUILL_SHOT_SIZE:-1280x800}x24" -nolisten tcp \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 display_number <"$work/display" || {
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}
export DISPLAY=:$display_number

home=${QUILL_SHOT_HOME:-$work/home}
mkdir -p "$home"
# A runtime folder of its own: the window must not hand over to one the user runs.
mkdir -m 700 "$work/run"
env -u QUILLMATE_DATA_DIR -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" \
    XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb "$program" "$@" >"$work/app.log" 2>&1 &
app_pid=$!

# The caption spells the name with blanks between its letters.
window=$(timeout 30 xdotool search --sync --all --onlyvisible --pid "$app_pid" --name \
    '^ ?Q ?u ?i ?l ?l ?m ?a ?t ?e' | head -n 1) || true
if [[ -z $window ]]; then
    echo "The program showed no window within 30 s:" >&2
    cat "$work/app.log" >&2
    exit 1
fi
sleep "${QUILL_SHOT_DELAY:-1}"
import -window "$window" "$out"
echo "$out ($(identify -format '%wx%h' "$out"))"
