#!/usr/bin/env bash
# Fixes the original models up twice and compares the bytes with each other
# and with the models the build installed. Exit 77: no models to check.
#   check_deterministic.sh ORIGINAL_TXT
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[[ -f $1 ]] || { echo "SKIP: no models were fetched"; exit 77; }
original=$(cat "$1")
[[ -d $original ]] || { echo "SKIP: $original is gone"; exit 77; }
python=${QUILLMATE_PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for run in 1 2; do
    "$python" "$here/fix_models.py" "$original" "$work/$run" || exit 1
done
status=0
for file in ch_PP-OCRv4_det_infer.onnx ch_PP-OCRv4_rec_infer.onnx; do
    cmp "$work/1/$file" "$work/2/$file" || status=1
    cmp "$work/1/$file" "$(dirname "$original")/models/$file" || status=1
done
((status == 0)) && echo "OK: the same bytes twice"
exit $status
