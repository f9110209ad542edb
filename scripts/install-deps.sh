#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev llvm ccache pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libyuv-dev libpng-dev ffmpeg libavfilter-dev libavutil-dev frei0r-plugins-dev frei0r-plugins
    libjpeg62-turbo-dev libturbojpeg0-dev libavcodec-dev libavformat-dev libswscale-dev libudev-dev
    libsrt-gnutls-dev
    libopencv-calib3d-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-features2d-dev
    qt6-base-dev qt6-svg-dev xvfb xauth xdotool
    desktop-file-utils appstream lintian dpkg-dev fakeroot file systemd
    libpipewire-0.3-dev pipewire pipewire-bin wireplumber gstreamer1.0-pipewire dbus
    gstreamer1.0-tools gstreamer1.0-plugins-base
    chromium xdg-desktop-portal libglib2.0-bin
)

exec "$(dirname "$0")/install-missing.sh" "${packages[@]}"
