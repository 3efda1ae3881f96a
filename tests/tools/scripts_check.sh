#!/usr/bin/env bash
# scripts_check.sh DIR: run.sh builds only what it runs, test.sh everything.
# Both run in a copy of the scripts whose cmake and ctest only note their
# arguments, without a display (run.sh then stops before starting anything).
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)" w="$1"
rm -rf "$w" && mkdir -p "$w/scripts" "$w/bin" "$w/data/emutos" "$w/build/release"
cp "$src"/scripts/{run,build,test}.sh "$w/scripts/"
echo true >"$w/scripts/setup.sh" && : >"$w/data/emutos/etos192uk.img"
for t in cmake ctest; do printf '#!/bin/sh\necho "%s $*" >>"%s/log"\n' $t "$w" >"$w/bin/$t" && chmod +x "$w/bin/$t"; done
export PATH="$w/bin:$PATH"
if env -u DISPLAY -u WAYLAND_DISPLAY bash "$w/scripts/run.sh" >/dev/null 2>&1; then exit 1; fi
bash "$w/scripts/test.sh" >/dev/null
diff <(grep '^cmake --build' "$w/log") - <<'END'
cmake --build --preset release --target vantorell hdd_driver vantorell-headless
cmake --build --preset release
END
