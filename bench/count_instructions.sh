#!/usr/bin/env bash
# Counts host instructions, not time, so that the figures compare across
# machines: runs vantorell-headless under valgrind's callgrind on the
# workload test ROM and on an EmuTOS boot and prints host instructions per
# emulated 68000 instruction (the CPU path alone: run loop, handlers and
# memory banks; and the whole run) and per synthesized sound sample.
#
#   bench/count_instructions.sh [--preset NAME] [--workload-frames N]
#                               [--emutos-frames N] [--emutos IMAGE]... [--keep DIR]
#
# Defaults: the release preset, 300 frames of the workload ROM, 2000 frames
# of each EmuTOS image the repository keeps (data/emutos/*.img).
# Only the emulation is counted (callgrind collects inside APP_Run), not the
# machine's construction. Functions are sorted into the parts by name; the
# last column of each table gives the share of the whole run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
preset=release
workload_frames=300
emutos_frames=2000
keep=""
images=()
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --workload-frames) workload_frames=$2; shift 2 ;;
    --emutos-frames) emutos_frames=$2; shift 2 ;;
    --emutos) images+=("$2"); shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done

command -v valgrind >/dev/null || { echo "valgrind is missing (scripts/setup.sh installs it)" >&2; exit 1; }
headless="$root/build/$preset/vantorell-headless"
workload="$root/build/$preset/m68k-programs/workload.img"
for f in "$headless" "$workload"; do
  [ -f "$f" ] || { echo "$f is missing: build the $preset preset first" >&2; exit 1; }
done
if [ ${#images[@]} -eq 0 ]; then
  for f in "$root"/data/emutos/*.img; do [ -f "$f" ] && images+=("$f"); done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The parts of the program, by function name (extended regular expressions
# over callgrind's function names). The CPU path is the functions' own
# cost; the synthesis is everything PSG_Render runs (the sample sink
# included) plus the sound chip's other operations.
cpu_re='m68k_|MMU_(Ram|Rom|Read|Write|BusError)|CART_(Get|Put)|::(service_pending|offer_interrupt|arm_trace|resolve_double_fault|changes_flow|enter_exception|push16|push32|silence_banks|restore_banks|jump_allowed|set_pc|guarded_jump|read_displacement)\('
render_re='PSG_Render\('
synth_re='PSG_'

# run NAME TOS FRAMES: one callgrind run and its table.
run() {
  local name=$1 tos=$2 frames=$3
  local dir="$work/$name" out="$work/$name.cg"
  mkdir -p "$dir"
  cp "$tos" "$dir/tos.img"
  valgrind --tool=callgrind --dump-instr=yes --collect-atstart=no --toggle-collect='APP_Run*' \
    --callgrind-out-file="$out" "$headless" --folder "$dir" --frames "$frames" --sound --counts \
    >"$work/$name.out" 2>"$work/$name.err" || { cat "$work/$name.err" >&2; exit 1; }
  [ -n "$keep" ] && { mkdir -p "$keep"; cp "$out" "$keep/$name.callgrind"; }
  local counts
  counts=$(grep '^instructions ' "$work/$name.out")
  { callgrind_annotate --threshold=100 --inclusive=no "$out" 2>/dev/null | sed 's/^/own /'
    callgrind_annotate --threshold=100 --inclusive=yes "$out" 2>/dev/null | sed 's/^/all /'; } |
    awk -v name="$name" -v frames="$frames" -v counts="$counts" \
        -v cpu_re="$cpu_re" -v render_re="$render_re" -v synth_re="$synth_re" '
      BEGIN { split(counts, c, " "); insns = c[2]; samples = c[4] }
      $1 == "own" && /PROGRAM TOTALS/ { gsub(",", "", $2); total = $2; next }
      /^(own|all) +[0-9,]+ +\([ 0-9.]+%\) +/ {
        n = $2; gsub(",", "", n)
        fn = $0; sub(/^(own|all) +[0-9,]+ +\([ 0-9.]+%\) +/, "", fn)
        if ($1 == "all") { if (fn ~ render_re) synth += n; next }
        if (fn ~ cpu_re) cpu += n
        else if (fn ~ synth_re && fn !~ render_re) synth += n
      }
      function per(a, b) { return b > 0 ? sprintf("%8.1f", a / b) : "       -" }
      function share(a) { return total > 0 ? sprintf("%5.1f%%", 100 * a / total) : "" }
      END {
        printf "%s, %d frames: %.0f 68000 instructions, %.0f samples, %.0f host instructions\n",
               name, frames, insns, samples, total
        printf "  CPU path (run loop, handlers, memory)  %s per 68000 instruction  %s\n", per(cpu, insns), share(cpu)
        printf "  whole run                              %s per 68000 instruction\n", per(total, insns)
        printf "  sound synthesis                        %s per output sample       %s\n", per(synth, samples), share(synth)
      }'
}

run workload "$workload" "$workload_frames"
for img in "${images[@]}"; do
  run "$(basename "$img" .img)" "$img" "$emutos_frames"
done
