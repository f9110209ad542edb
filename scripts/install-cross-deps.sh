#!/usr/bin/env bash
# Installs what `make cross-arm64` needs beside the native build's packages: Debian's arm64 cross
# compiler, qemu-user to run the tests, and the arm64 development packages of the display-free
# libraries (multiarch: they sit beside the amd64 ones). Only what is missing.
set -euo pipefail

arch=arm64
packages=(
    g++-aarch64-linux-gnu qemu-user cmake ninja-build ccache pkg-config googletest "libc6:$arch"
    "libyuv-dev:$arch" "libjpeg62-turbo-dev:$arch" "libturbojpeg0-dev:$arch" "libpng-dev:$arch"
    "zlib1g-dev:$arch" "libudev-dev:$arch" "libgtest-dev:$arch" "libgmock-dev:$arch"
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

update=
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "adding the $arch architecture"
    "${sudo[@]}" dpkg --add-architecture "$arch"
    update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    update=1
fi
if [ -n "$update" ]; then
    "${sudo[@]}" apt-get update
fi
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
