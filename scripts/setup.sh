#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what Palm&Cue needs on Debian 12 and fetches the hand models. Idempotent: quick
# when everything is already there.
#   scripts/setup.sh BUILD_DIR
set -euo pipefail

build_dir=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)

packages=(
    # build
    cmake ninja-build g++ pkg-config clang-format
    # Qt 6.4 Quick, Controls, Multimedia; qmllint for the views
    qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-multimedia-dev
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
    qml6-module-qtqml qml6-module-qtqml-models
    libqt6svg6
    # runtime: fonts, GL, camera backends, icons
    fonts-noto-color-emoji fonts-dejavu-core fontconfig libgl1-mesa-dri
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-gl
    adwaita-icon-theme hicolor-icon-theme
    # the X server's extensions, for the choice of scene graph
    libxcb1-dev
    # desktop applications
    libglib2.0-dev
    # hand models
    libxnnpack-dev libpthreadpool-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
    libopencv-videoio-dev
    # camera frame conversion; GStreamer for the camera's pipeline errors and the stand-in
    # webcam of the tests
    libyuv-dev libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
    xvfb xauth x11-utils imagemagick ffmpeg xterm xdotool desktop-file-utils
    # the Debian package (make package) and its checks: lintian, and hardening-check of
    # devscripts
    dpkg-dev file appstream lintian devscripts
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches the hand models; a Node.js that came with its own npm is fine too.
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]})); then
    line="apt-get install -y --no-install-recommends ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "Palm&Cue needs Debian packages that are not installed. As root, run:" >&2
        echo "  apt-get update && $line" >&2
        exit 1
    fi
    echo "Installing ${#missing[@]} Debian packages..."
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$here/fetch-models.sh" "$build_dir/models"
