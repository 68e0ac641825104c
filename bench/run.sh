#!/usr/bin/env bash
# The benchmark table: every figure is a ratio or share measured in this run against a peer measured in
# the same run (the wire time of the bytes exchanged, srec_cat, one core), so a busy machine shows as
# noise rather than as a different result. Prints a Markdown table; takes a few minutes.
#   bench/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja -Wno-dev >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

sim=$build/tools/unitsim/tarvel-unitsim
ctl=$build/src/tarvelctl
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); }
verdict() { awk -v v="$1" -v goal="$2" -v op="$3" 'BEGIN { ok = (op == "<") ? v < goal : v >= goal; print ok ? "met" : "MISSED" }'; }

# (a) Ten units at wire speed.
for op in download auto; do
  line=$("$build/bench/download_bench" "$op" "$sim" | head -1)
  ratio=$(sed -n 's/.*ratio \([0-9.]*\).*/\1/p' <<<"$line")
  what="ten units, 256 KiB, $( [ "$op" = auto ] && echo "automatic sequence with verify" || echo download ) (wire speed)"
  row "$what" "time / wire time of the bytes exchanged" "$ratio" "≤ 1.05: $(verdict "$ratio" 1.05 "<")"
done

# (b) Loading 2 MiB HEX and S-record files against srec_cat.
while read -r line; do
  kind=$(sed 's/ *2 MiB.*//' <<<"$line")
  x=$(sed -n 's/.*= \([0-9.]*\)x$/\1/p' <<<"$line")
  row "load 2 MiB $kind" "srec_cat time / ours" "$x" "≥ 5: $(verdict "$x" 5 ">=")"
done < <("$build/bench/load_bench" | grep "srec_cat/ours")

# (c) The host programs with ten busy units at wire speed, from the search to the end: tarvelctl running the
# automatic sequence (256 KiB each, read back for verify), and both programs in the production line's
# unattended mode (a project with 256 KiB, downloaded into every unit; tarvel200 on the offscreen platform).
head -c 262144 /dev/urandom >"$work/fw.bin"
# The units' firmware file in the program directory, as on a production PC (the desktop program would
# otherwise stop at start-up with a box saying it is missing).
head -c 6000 /dev/urandom >"$work/firmware.raw"
"$build/tools/mkfwr/tarvel-mkfwr" "$work/firmware.raw" V1.10 "$work/TarvelIMOT.FWR" >/dev/null
"$ctl" --dir "$work" select KF32A156KQV load "$work/fw.bin" project-save "$work/line.pmw" >/dev/null
cost_row() {  # WHAT GOAL_CPU GOAL_MB COMMAND...
  local what=$1 goal_cpu=$2 goal_mb=$3
  shift 3
  coproc SIM { exec "$sim" --units 10 --dir "$work" --wire-speed; }
  read -r _ <&"${SIM[0]}"
  local cost
  cost=$("$build/bench/rusage_run" "$@" 2>&1 >/dev/null | grep '^wall=' | tail -1)
  kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true
  local wall cpu rss share mb
  wall=$(sed -n 's/.*wall=\([0-9.]*\).*/\1/p' <<<"$cost")
  cpu=$(sed -n 's/.*cpu=\([0-9.]*\).*/\1/p' <<<"$cost")
  rss=$(sed -n 's/.*maxrss_kb=\([0-9]*\).*/\1/p' <<<"$cost")
  share=$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.1f", 100 * c / w }')
  mb=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
  if [ "$goal_cpu" = - ]; then
    row "$what" "CPU time / run time (% of one core)" "$share % (${wall} s)" "—"
    row "$what" "peak memory (RSS)" "$mb MB" "—"
  else
    row "$what" "CPU time / run time (% of one core)" "$share % (${wall} s)" "< $goal_cpu %: $(verdict "$share" "$goal_cpu" "<")"
    row "$what" "peak memory (RSS)" "$mb MB" "< $goal_mb MB: $(verdict "$mb" "$goal_mb" "<")"
  fi
}
cost_row "tarvelctl, ten units busy (automatic sequence)" 5 100 \
  "$ctl" --dir "$work" find select KF32A156KQV load "$work/fw.bin" auto
cost_row "tarvelctl, ten units busy (unattended download of the project)" 5 100 \
  "$ctl" --dir "$work" unattended "$work/line.pmw" OFF
if [ -x "$build/src/qt/tarvel200" ]; then
  cost_row "tarvel200, ten units busy (unattended download of the project, offscreen)" - - \
    env QT_QPA_PLATFORM=offscreen "$build/src/qt/tarvel200" --dir "$work" "$work/line.pmw" OFF
fi

# (d) The information panel with 1,000,000 lines and the flash view of a 2 MiB image: the window model
# alone, and the desktop window on the offscreen platform.
panel=$("$build/bench/panel_bench")
row "panel model: 1,000,000 lines appended" "slowest append" "$(sed -n 's/.*slowest append \([0-9.]*\) ms.*/\1/p' <<<"$panel") ms" \
  "≤ 50 ms: $(verdict "$(sed -n 's/.*slowest append \([0-9.]*\) ms.*/\1/p' <<<"$panel")" 50 "<")"
row "panel model: 1,000,000 lines" "memory for the lines" "$(sed -n 's/.*, \([0-9]*\) MB for the lines.*/\1/p' <<<"$panel") MB" "—"
if [ -x "$build/bench/qt_panel_bench" ]; then
  qt=$("$build/bench/qt_panel_bench" 2>/dev/null)
  turn=$(sed -n 's/.*slowest turn \([0-9.]*\) ms.*/\1/p' <<<"$qt")
  open=$(sed -n 's/.* shown in \([0-9.]*\) ms.*/\1/p' <<<"$qt")
  page=$(sed -n 's/.*slowest page \([0-9.]*\) ms.*/\1/p' <<<"$qt")
  row "tarvel200 panel: 1,000,000 lines in bursts of 1,000" "slowest event-loop turn" "$turn ms" "≤ 50 ms: $(verdict "$turn" 50 "<")"
  row "tarvel200 panel: 1,000,000 lines" "memory for the lines (log and panel)" "$(sed -n 's/.*; \([0-9]*\) MB for the lines.*/\1/p' <<<"$qt") MB" "—"
  row "tarvel200 flash view, 2 MiB image" "shown" "$open ms" "≤ 50 ms: $(verdict "$open" 50 "<")"
  row "tarvel200 flash view, 2 MiB image" "slowest page scrolled and painted" "$page ms" "≤ 50 ms: $(verdict "$page" 50 "<")"
fi

echo "Measured $(date -u +%Y-%m-%d) on $(nproc) × $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(uname -sr)."
echo
echo "| what | measure | result | goal |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
