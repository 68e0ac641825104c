#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, in build-fuzz/) and runs each for SECONDS, one after another:
#   fuzz/run.sh SECONDS [TARGET ...]        (all targets when none is named)
# Each target first replays the inputs in fuzz/regressions/<target>/ (inputs that once crashed it), then
# fuzzes with a working corpus in build-fuzz/corpus/<target>/, seeded from fuzz/corpus/<target>/, so the
# repository stays clean. Crashing inputs go to build-fuzz/findings/<target>/; the script names them and
# exits non-zero when any target found something. The full output of a run is in build-fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: fuzz/run.sh SECONDS [TARGET ...]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
seconds=$1
shift
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -ge 1 ] || usage

# The longest input each target gets: room for its header and a file of a few KiB (a project or
# firmware file needs about 6 KiB; the receive path needs more than a full frame buffer).
declare -A max_len=(
  [fuzz_hex]=8192 [fuzz_srec]=8192 [fuzz_binary]=4096 [fuzz_elf]=8192 [fuzz_socprj]=8192
  [fuzz_ldf]=8192 [fuzz_project]=16384 [fuzz_object_load]=8192 [fuzz_settings]=2048
  [fuzz_firmware_file]=12288 [fuzz_channel_link]=20000 [fuzz_replies]=4096 [fuzz_discovery]=4096
)
all_targets=(fuzz_hex fuzz_srec fuzz_binary fuzz_elf fuzz_socprj fuzz_ldf fuzz_project fuzz_object_load
             fuzz_settings fuzz_firmware_file fuzz_channel_link fuzz_replies fuzz_discovery)

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
  [ -n "${max_len[$t]:-}" ] || { echo "fuzz/run.sh: no target $t (targets: ${all_targets[*]})" >&2; exit 2; }
done

command -v clang++ >/dev/null || { echo "fuzz/run.sh: clang++ is needed (scripts/install-deps.sh)" >&2; exit 2; }
build=build-fuzz
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -Wno-dev -DTARVEL_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

mkdir -p "$build/logs"
failed=()
printf '%-20s %7s %12s %8s %7s %8s %14s  %s\n' target seconds executions exec/s cov ft corpus result
for t in "${targets[@]}"; do
  exe="$build/fuzz/$t"
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$findings"
  [ -d "fuzz/corpus/$t" ] && cp -n "fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  before=$(ls "$findings" | wc -l)
  common=(-rss_limit_mb=2048 -timeout=30 -max_len="${max_len[$t]}" -artifact_prefix="$findings/")

  status=0
  : >"$log"
  regressions=()
  if [ -d "fuzz/regressions/$t" ]; then
    while IFS= read -r -d '' f; do regressions+=("$f"); done < <(find "fuzz/regressions/$t" -type f -print0 | sort -z)
  fi
  if [ ${#regressions[@]} -gt 0 ]; then
    "$exe" "${common[@]}" "${regressions[@]}" >>"$log" 2>&1 || status=$?
  fi
  start=$(date +%s)
  if [ "$status" -eq 0 ]; then
    "$exe" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 "$corpus" >>"$log" 2>&1 || status=$?
  fi
  elapsed=$(( $(date +%s) - start ))

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  size=$(du -sk --apparent-size "$corpus" | cut -f1)
  files=$(ls "$corpus" | wc -l)
  if [ "$status" -eq 0 ]; then
    result=ok
  else
    result="FOUND (exit $status)"
    failed+=("$t")
  fi
  printf '%-20s %7s %12s %8s %7s %8s %14s  %s\n' "$t" "$elapsed" "${execs:--}" "${rate:--}" "${cov:--}" \
    "${ft:--}" "$files/${size}K" "$result"
  if [ "$status" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|invariant|Test unit written|terminate|what\(\)' "$log" | head -20 | sed 's/^/    /'
    if [ "$elapsed" -eq 0 ] && grep -q '^Running: ' "$log"; then
      echo "    regression input: $(sed -n 's/^Running: //p' "$log" | tail -1)"
    fi
    new=$(ls -t "$findings" | head -n $(( $(ls "$findings" | wc -l) - before )) )
    for f in $new; do echo "    input: $findings/$f"; done
    echo "    log: $log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz/run.sh: findings in ${failed[*]}; reproduce with build-fuzz/fuzz/TARGET INPUT" >&2
  exit 1
fi
