#!/usr/bin/env bash
# Starts weston's headless back end, then the program with only a Wayland
# display, and compares screenshots before and after: the window must have
# been drawn, and no X server was there to fall back to.
set -u
program=$1
command -v weston >/dev/null && command -v weston-screenshooter >/dev/null &&
    command -v compare >/dev/null || { echo "weston or ImageMagick missing"; exit 77; }
work=$(mktemp -d)
trap 'kill $app $compositor 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -m 700 "$work/run" "$work/home"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=quill-test
unset DISPLAY QT_QPA_PLATFORM XDG_CONFIG_HOME XDG_DATA_HOME QUILLMATE_DATA_DIR
weston --backend=headless-backend.so --socket=$WAYLAND_DISPLAY --use-pixman --debug \
    --width=1024 --height=700 >"$work/weston.log" 2>&1 &
compositor=$!
for _ in $(seq 50); do [[ -S $XDG_RUNTIME_DIR/$WAYLAND_DISPLAY ]] && break; sleep 0.1; done
shot() { (cd "$work" && rm -f wayland-screenshot*.png && weston-screenshooter >/dev/null 2>&1 &&
    mv wayland-screenshot*.png "$1"); }
sleep 1
shot "$work/before.png" || { echo "no screenshot from weston"; cat "$work/weston.log"; exit 1; }
"$program" >"$work/app.log" 2>&1 &
app=$!
sleep 5
kill -0 $app 2>/dev/null || { echo "the window did not keep running:"; cat "$work/app.log"; exit 1; }
shot "$work/after.png" || exit 1
changed=$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1 | cut -d' ' -f1)
echo "pixels changed by the window: $changed"
[[ ${changed%.*} -gt 100000 ]] || { cat "$work/app.log"; exit 1; }
