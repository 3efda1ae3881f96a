#!/usr/bin/env bash
# Sets up, builds and starts the emulator. Arguments go to the emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are not set), so no window can open; build/release/vantorell-headless runs without one" >&2
  exit 1
fi
exec ./build/release/vantorell "$@"
