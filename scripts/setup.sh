#!/bin/bash
# Installs the Debian packages the build and the tests need, when missing.
# Safe to run again: with everything present it only asks dpkg and returns.
set -euo pipefail

packages=(
    cmake ninja-build g++
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    googletest libgtest-dev
    clang libclang-rt-14-dev
    wine wine64 xvfb x11-utils xdotool imagemagick
    fonts-ipafont-gothic
    zip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        sudo=(sudo)
    else
        echo "setup: run as root to install: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
