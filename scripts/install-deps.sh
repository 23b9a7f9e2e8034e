#!/usr/bin/env bash
# Installs every system package the build, the program and the tests need.
# Safe to run repeatedly: it does nothing when everything is present.
set -euo pipefail

PKGS_NATIVE="cmake make g++ googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
binutils-mingw-w64 mingw-w64-tools xvfb x11-apps xdotool imagemagick fonts-wine \
pulseaudio pulseaudio-utils sox socat procps python3 fp-utils nsis \
clang libclang-rt-14-dev"
PKGS_WINE="wine wine64 wine32:i386"

missing=()
for p in $PKGS_NATIVE $PKGS_WINE; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
