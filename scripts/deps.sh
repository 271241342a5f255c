#!/usr/bin/env bash
# Installs what building, running and testing Quorix needs (Debian 12, as root).
# The emulator is built from third_party/ with cmake, a C compiler and
# pkg-config (its configure step asks for it); for Windows with the C
# compiler that comes with g++-mingw-w64-x86-64.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev
      libcairo2-dev libfontconfig-dev fonts-dejavu-core libx11-dev libxext-dev
      libgtk-3-dev libgtksourceview-4-dev
      libzydis-dev binutils nasm fasm dosbox xvfb xdotool x11-utils
      imagemagick python3 g++-mingw-w64-x86-64 googletest wine wine64 zip nsis
      clang-14 libclang-rt-14-dev clang-format-14 clang-tidy-14)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
