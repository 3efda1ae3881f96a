#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Vantorell needs.
# Safe to run again: it only installs what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  binutils-m68k-linux-gnu gcc-m68k-linux-gnu
  libsdl2-dev libimgui-dev libstb-dev zlib1g-dev libpng-dev
  libfluidsynth-dev fluid-soundfont-gm
  mtools dosfstools
  xvfb xauth
  clang libclang-rt-14-dev
  # bench/count_instructions.sh only; no test needs it
  valgrind
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
