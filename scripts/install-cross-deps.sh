#!/usr/bin/env bash
# Installs what `make cross-arm64` needs beside the native build's packages: Debian's arm64 cross
# compiler, qemu-user to run the tests, and the arm64 development packages of the display-free
# libraries (multiarch: they sit beside the amd64 ones), with PipeWire's client modules, which its
# library loads when a program connects. Only what is missing.
set -euo pipefail

arch=arm64
packages=(
    g++-aarch64-linux-gnu qemu-user cmake ninja-build ccache pkg-config googletest "libc6:$arch"
    "libyuv-dev:$arch" "libjpeg62-turbo-dev:$arch" "libturbojpeg0-dev:$arch" "libpng-dev:$arch"
    "zlib1g-dev:$arch" "libudev-dev:$arch" "libgtest-dev:$arch" "libgmock-dev:$arch"
    "libpipewire-0.3-dev:$arch" "libpipewire-0.3-modules:$arch"
)

# The arm64 packages' lists come with the next update, which the install below makes.
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "adding the $arch architecture"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" dpkg --add-architecture "$arch"
fi
exec "$(dirname "$0")/install-missing.sh" "${packages[@]}"
