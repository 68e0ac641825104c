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

# (c) The host program with ten busy units: the automatic sequence (256 KiB each, read back for verify) at
# wire speed, from the search to the end.
head -c 262144 /dev/urandom >"$work/fw.bin"
coproc SIM { exec "$sim" --units 10 --dir "$work" --wire-speed; }
read -r _ <&"${SIM[0]}"
cost=$("$build/bench/rusage_run" "$ctl" --dir "$work" find select KF32A156KQV load "$work/fw.bin" auto 2>&1 >/dev/null |
       grep '^wall=' | tail -1)
kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true
wall=$(sed -n 's/.*wall=\([0-9.]*\).*/\1/p' <<<"$cost")
cpu=$(sed -n 's/.*cpu=\([0-9.]*\).*/\1/p' <<<"$cost")
rss=$(sed -n 's/.*maxrss_kb=\([0-9]*\).*/\1/p' <<<"$cost")
share=$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.1f", 100 * c / w }')
mb=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
row "tarvelctl, ten units busy (automatic sequence)" "CPU time / run time (% of one core)" "$share %" "< 5 %: $(verdict "$share" 5 "<")"
row "tarvelctl, ten units busy (automatic sequence)" "peak memory (RSS)" "$mb MB" "< 100 MB: $(verdict "$mb" 100 "<")"

echo "Measured $(date -u +%Y-%m-%d) on $(nproc) × $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(uname -sr)."
echo
echo "| what | measure | result | goal |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
