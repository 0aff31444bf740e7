#!/usr/bin/env bash
# Builds the Debian package in BUILD_DIR (default build-package/) and prints
# its path as the last line. Extra arguments go to cmake.
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
rm -f "$BUILD_DIR"/quillmate_*.deb
if ! (cd "$BUILD_DIR" && cpack -G DEB) >"$log" 2>&1; then
    cat "$log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
fi
cat "$log" >&2
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log" | tail -n1)
if [[ -z $deb || ! -f $deb ]]; then
    echo "package.sh: cpack named no package" >&2
    exit 1
fi
realpath "$deb"
