#!/usr/bin/env bash
# Configures and builds one preset (release by default), every target or the
# ones named: scripts/build.sh [preset] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
targets=("${@:2}")
cmake --preset "$preset" >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  cmake --build --preset "$preset"
else
  cmake --build --preset "$preset" --target "${targets[@]}"
fi
