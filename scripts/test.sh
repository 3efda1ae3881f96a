#!/usr/bin/env bash
# Sets up, builds and runs every test: scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
bash scripts/setup.sh
bash scripts/build.sh "$preset"
ctest --preset "$preset" -j "$(nproc)"
