#!/usr/bin/env bash
# Shoots the window in each of its three looks and compares the pictures with
# the ones the README shows (doc/screenshots): start-up work must never change
# what the window looks like.
#   skin_pictures.sh BUILD_DIR
set -u
cd "$(dirname "$0")/../.."
build=$1
command -v compare >/dev/null && command -v Xvfb >/dev/null || { echo "ImageMagick or Xvfb missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for face in 1 2 3; do
    reference=$(ls doc/screenshots/skin$face-*.png)
    home=$work/home$face
    mkdir -p "$home/.config/quilltranslation"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\r\n"Face"=dword:%08x\r\n' \
        "$face" >"$home/.config/quilltranslation/settings.reg"
    BUILD_DIR=$build QUILL_SHOT_NO_BUILD=1 QUILL_SHOT_HOME=$home \
        scripts/screenshot.sh "$work/face$face.png" >/dev/null || { status=1; continue; }
    # A few pixels may differ where glyph edges are smoothed; a changed colour,
    # border or position differs in thousands.
    differing=$(compare -metric AE -fuzz 3% "$reference" "$work/face$face.png" null: 2>&1)
    echo "look $face: $differing pixels differ from $reference"
    [[ ${differing%%[. ]*} =~ ^[0-9]+$ && ${differing%%[. ]*} -le 400 ]] || status=1
done
exit $status
