#!/usr/bin/env bash
# Sets up, builds and starts the emulator. Arguments go to the emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
exec ./build/release/vantorell "$@"
