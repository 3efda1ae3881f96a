#!/usr/bin/env bash
# scripts_check.sh WORK_DIR: run.sh builds only what it runs (the emulator,
# the cartridge image, the windowless tool), test.sh every target. Both run
# in a copy of the scripts with a cmake and a ctest that only note their
# arguments, without a display (so run.sh stops before starting anything).
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$1"
rm -rf "$work"
mkdir -p "$work/scripts" "$work/bin" "$work/data/emutos" "$work/build/release"
cp "$src/scripts/run.sh" "$src/scripts/build.sh" "$src/scripts/test.sh" "$work/scripts/"
echo true >"$work/scripts/setup.sh"
: >"$work/data/emutos/etos192uk.img"
for tool in cmake ctest; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/log"\n' "$tool" "$work" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
export PATH="$work/bin:$PATH"
if env -u DISPLAY -u WAYLAND_DISPLAY bash "$work/scripts/run.sh" >/dev/null 2>&1; then exit 1; fi
bash "$work/scripts/test.sh" >/dev/null
want="cmake --preset release
cmake --build --preset release --target vantorell hdd_driver vantorell-headless
cmake --preset release
cmake --build --preset release"
if [ "$(grep -v '^ctest' "$work/log")" != "$want" ]; then
  cat "$work/log"
  exit 1
fi
