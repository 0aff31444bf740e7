#!/usr/bin/env bash
# Checks of the Debian package and the desktop files it carries.
#   check_package.sh desktop DESKTOP_FILE METAINFO ICON_DIR SIZE...
#   check_package.sh deb CPACK_CONFIG WORK_DIR CAPTURE_LIBRARY SIZE...
# The deb check packs this build tree (or takes $QUILL_DEB). Exit 77: skipped.
set -uo pipefail

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
skip() {
    echo "SKIP: $*"
    exit 77
}
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
}

# Every icon exists at its size: a wrong scale would leave blurred or cut icons.
check_icons() {
    local root=$1 name=$2
    shift 2
    for size in "$@"; do
        local png=$root/${size}x${size}/apps/$name.png
        if [[ ! -f $png ]]; then
            fail "no icon $png"
        elif ! file -b "$png" | grep -q "^PNG image data, $size x $size,"; then
            fail "$png is not a ${size}x$size PNG: $(file -b "$png")"
        fi
    done
}

# Hints count too: a clean entry shows nothing at all.
check_desktop_entry() {
    local out
    if ! out=$(desktop-file-validate "$1" 2>&1) || [[ -n $out ]]; then
        fail "desktop-file-validate $1: ${out:-failed}"
    fi
}

# Errors, warnings and infos fail; pedantic notes (the id's capital) do not.
check_metainfo() {
    local out
    out=$(appstreamcli validate --no-net --no-color "$1" 2>&1)
    local status=$?
    if ((status != 0)) || grep -Eq '^(E|W|I):' <<<"$out"; then
        fail "appstreamcli validate $1 (status $status): $out"
    fi
}

desktop_key() {
    sed -n "/^\[Desktop Entry\]/,/^\[/s/^$2=//p" "$1" | head -n1
}

run_desktop() {
    local desktop=$1 metainfo=$2 icons=$3
    shift 3
    need desktop-file-validate appstreamcli file
    check_desktop_entry "$desktop"
    check_metainfo "$metainfo"
    check_icons "$icons" "$(desktop_key "$desktop" Icon)" "$@"
}

# The package names from a Depends line, alternatives included, versions dropped.
depends_names() {
    tr ',|' '\n' <<<"$1" | sed 's/(.*)//; s/:any//; s/^ *//; s/ *$//' | grep -v '^$' | sort -u
}

# The packages holding the libraries a shared object links directly.
library_packages() {
    local object=$1
    objdump -p "$object" | awk '$1 == "NEEDED" { print $2 }' | while read -r soname; do
        local path
        path=$(ldd "$object" | awk -v n="$soname" '$1 == n { print $3 }')
        [[ -n $path ]] || { echo "?$soname"; continue; }
        # A merged /usr lists some libraries under /lib, some under /usr/lib.
        for candidate in "$path" "$(realpath "$path")" "${path#/usr}" "/usr$path"; do
            if owner=$(dpkg -S "$candidate" 2>/dev/null); then
                echo "${owner%%:*}"
                continue 2
            fi
        done
        echo "?$soname"
    done | sort -u
}

run_deb() {
    local config=$1 work=$2 capture=$3
    shift 3
    need dpkg-deb file objdump
    [[ -z ${QUILL_SANITIZE:-} ]] || skip "a package is made from a build without sanitizers"
    rm -rf "$work"
    mkdir -p "$work"
    local deb=${QUILL_DEB:-}
    if [[ -z $deb ]]; then
        need cpack dpkg-shlibdeps
        if ! cpack -G DEB --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
            cat "$work/cpack.log" >&2
            fail "cpack failed"
            return
        fi
        deb=$(find "$work/out" -maxdepth 1 -name "quillmate_*.deb" | head -n1)
        [[ -n $deb ]] || { fail "cpack made no package"; return; }
    fi
    echo "package: $deb"

    local root=$work/root
    dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x $deb"; return; }
    local listing
    listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')
    local expected=(
        /usr/bin/quillmate
        /usr/bin/quillmate-server
        /usr/bin/quillmate-speech
        /usr/lib/quillmate/quillmate_window.so
        /usr/lib/quillmate/quillmate_cli.so
        /usr/lib/quillmate/quillmate_ocr.so
        /usr/lib/quillmate/quillmate_mp3.so
        /usr/share/applications/net.quillmate.Quillmate.desktop
        /usr/share/metainfo/net.quillmate.Quillmate.metainfo.xml
    )
    for size in "$@"; do
        expected+=("/usr/share/icons/hicolor/${size}x$size/apps/quillmate.png")
    done
    for path in "${expected[@]}"; do
        grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
    done
    # The recognition models travel with their license and a note of the change.
    local ppocr=/usr/share/quillmate/ppocr
    if [[ -f ${QUILL_PPOCR_MODEL_DIR:-}/ch_PP-OCRv4_rec_infer.onnx ]]; then
        for file in ch_PP-OCRv4_det_infer.onnx ch_PP-OCRv4_rec_infer.onnx ppocr_keys_v1.txt \
            LICENSE README; do
            grep -qxF "$ppocr/$file" <<<"$listing" || fail "the package lacks $ppocr/$file"
        done
        grep -q "modified" "$root$ppocr/README" 2>/dev/null || fail "$ppocr/README says nothing of the change"
        grep -q "Apache License" "$root$ppocr/LICENSE" 2>/dev/null || fail "$ppocr/LICENSE is not the Apache License"
        # The installed engine finds its models from its own folder.
        local said
        said=$(cd / && timeout 20 "$root/usr/bin/quillmate-server" --workers 1 --idle-exit 1 2>&1 >/dev/null)
        [[ $said != *"PP-OCR unavailable"* ]] || fail "the installed engine did not load its models: $said"
    fi

    local outside
    outside=$(grep -Ev '^(/|/usr/.*)$' <<<"$listing" | tr '\n' ' ')
    [[ -z $outside ]] || fail "files outside /usr: $outside"

    # The entry and the metainfo must name what the package holds.
    local desktop=$root/usr/share/applications/net.quillmate.Quillmate.desktop
    local metainfo=$root/usr/share/metainfo/net.quillmate.Quillmate.metainfo.xml
    if [[ -f $desktop && -f $metainfo ]]; then
        local launchable
        launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
        [[ -f $root/usr/share/applications/$launchable ]] ||
            fail "the metainfo launches '$launchable', which the package lacks"
        local icon exec
        icon=$(desktop_key "$desktop" Icon)
        [[ -f $root/usr/share/icons/hicolor/48x48/apps/$icon.png ]] || fail "no icon named $icon"
        exec=$(desktop_key "$desktop" Exec)
        [[ -x $root/usr/bin/${exec%% *} ]] || fail "Exec=$exec is no program of the package"
    fi

    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    local names
    names=$(depends_names "$depends")
    local required=(
        libqt6widgets6 libqt6multimedia6 libcurl4 libtesseract5 libespeak-ng1 libmp3lame0
        qt6-wayland qt6-translations-l10n gstreamer1.0-plugins-good fonts-noto-cjk
        tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-tra tesseract-ocr-jpn
        tesseract-ocr-kor espeak-ng-data
    )
    # The capture library is unpacked from the program, so no header of the
    # package shows what it links.
    if [[ -n $capture && -f $capture ]]; then
        while read -r package; do
            [[ $package == \?* ]] && fail "no package holds ${package#?}, which the capture library links"
            [[ $package == \?* ]] || required+=("$package")
        done < <(library_packages "$capture")
    fi
    for package in "${required[@]}"; do
        grep -qxF "$package" <<<"$names" || fail "Depends lacks $package"
    done
    # A misspelt name would make the package uninstallable.
    if command -v apt-cache >/dev/null && apt-cache show libc6 >/dev/null 2>&1; then
        local known
        known=$(xargs apt-cache show --no-all-versions 2>/dev/null <<<"$names" |
            sed -n 's/^Package: //p' | sort -u)
        while read -r package; do
            grep -qxF "$package" <<<"$known" || fail "apt knows no package $package"
        done <<<"$names"
    fi

    # Private modules must not look for libraries in the build tree.
    while read -r elf; do
        local paths
        paths=$(objdump -p "$elf" | awk '$1 == "RUNPATH" || $1 == "RPATH" { print $2 }')
        [[ -z $paths ]] || fail "$elf keeps the search path $paths"
    done < <(find "$root" -type f \( -name '*.so' -o -path '*/bin/*' \))

    # The launcher finds its modules relative to itself, from any folder.
    local version
    version=$(cd / && env -u QUILLMATE_DATA_DIR "$root/usr/bin/quillmate" --version 2>&1)
    [[ $version == "quillmate 8.0" ]] || fail "quillmate --version said: $version"
    local listed
    listed=$(cd / && "$root/usr/bin/quillmate" languages 2>&1 | head -n3 | wc -l)
    ((listed == 3)) || fail "quillmate languages listed $listed lines"
    (cd / && "$root/usr/bin/quillmate-server" --help >/dev/null 2>&1) ||
        fail "quillmate-server --help failed"
    # The engine reads aloud with the helper beside it; its output starts with
    # the wire header.
    local header
    header=$(cd / && printf 'hello' | timeout 20 "$root/usr/bin/quillmate-speech" en-us 175 | head -c 4)
    [[ $header == QSP1 ]] || fail "the installed quillmate-speech did not read aloud: '$header'"

    # The maker's site comes as a package of its own beside it.
    local site
    site=$(find "$(dirname "$deb")" -maxdepth 1 -name "quillmate-site_*.deb" | head -n1)
    if [[ -z $site ]]; then
        [[ -n ${QUILL_DEB:-} ]] || fail "cpack made no quillmate-site package"
        return
    fi
    local siteRoot=$work/site-root
    dpkg-deb -x "$site" "$siteRoot" || { fail "dpkg-deb -x $site"; return; }
    for path in /usr/bin/quillmate-site /usr/lib/systemd/system/quillmate-site.service \
        /usr/share/doc/quillmate-site/examples/nginx-quillmate-site.conf; do
        [[ -f $siteRoot$path ]] || fail "the site package lacks $path"
    done
    [[ -z $(dpkg-deb -c "$site" | awk '{ print $6 }' | grep -E 'quillmate_|/lib/quillmate/') ]] ||
        fail "the site package carries the desktop program's files"
    (cd / && "$siteRoot/usr/bin/quillmate-site" --help >/dev/null 2>&1) ||
        fail "quillmate-site --help failed"
    if command -v systemd-analyze >/dev/null; then
        local unit=$work/quillmate-site.service
        sed "s|/usr/bin/quillmate-site|$siteRoot/usr/bin/quillmate-site|" \
            "$siteRoot/usr/lib/systemd/system/quillmate-site.service" >"$unit"
        local out
        out=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $out"
    fi
}

mode=${1:-}
shift || true
case $mode in
desktop) run_desktop "$@" ;;
deb) run_deb "$@" ;;
*)
    echo "usage: $0 desktop|deb ..." >&2
    exit 2
    ;;
esac
((failures == 0)) || exit 1
echo "OK"
