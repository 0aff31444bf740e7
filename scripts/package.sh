#!/usr/bin/env bash
# Builds the Debian packages in BUILD_DIR (default build-package/) and prints
# their paths: the maker's site (quillmate-site_*.deb) first, the program
# (quillmate_*.deb) as the last line. Extra arguments go to cmake.
#   apt-get install ./build-package/quillmate_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-package}

# Everything but the path goes to standard error, so $(scripts/package.sh) is the path.
scripts/deps.sh >&2
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILL_TESTS=OFF -DQUILL_BENCH=OFF -DQUILL_SANITIZE= "$@" >&2
cmake --build "$BUILD_DIR" --parallel "$(nproc)" >&2

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# A package from an earlier version must not be taken for this one.
rm -f "$BUILD_DIR"/quillmate_*.deb "$BUILD_DIR"/quillmate-site_*.deb
if ! (cd "$BUILD_DIR" && cpack -G DEB) >"$log" 2>&1; then
    cat "$log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
fi
cat "$log" >&2
made=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log")
site=$(grep '/quillmate-site_[^/]*\.deb$' <<<"$made" | tail -n1 || true)
deb=$(grep '/quillmate_[^/]*\.deb$' <<<"$made" | tail -n1 || true)
for package in "$site" "$deb"; do
    if [[ -z $package || ! -f $package ]]; then
        echo "package.sh: cpack did not make both packages" >&2
        exit 1
    fi
done
realpath "$site"
realpath "$deb"
