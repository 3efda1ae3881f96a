#!/usr/bin/env bash
# Sets up, builds and starts the emulator. Arguments go to the emulator.
# Only what it runs is built: the emulator, the cartridge image with the
# hard-disk driver and the windowless tool (scripts/test.sh builds the rest).
# Without a TOS image in the application's folder, the EmuTOS image kept in
# data/emutos/ goes there as tos.img.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release vantorell hdd_driver vantorell-headless
if [ ! -e build/release/tos.img ]; then
  cp data/emutos/etos192uk.img build/release/tos.img
  echo "run.sh: no tos.img in build/release: using EmuTOS (data/emutos/)"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are not set), so no window can open; build/release/vantorell-headless runs without one" >&2
  exit 1
fi
exec ./build/release/vantorell "$@"
