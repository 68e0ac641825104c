#!/usr/bin/env bash
# The demo: builds the host and shows what it can do so far, with the sample files in samples/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -Wno-dev >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
ctl=build/src/tarvelctl
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "== The chip catalogue, first lines (tarvelctl chips) =="
"$ctl" chips >"$out/chips.txt"
head -n 8 "$out/chips.txt"
echo "   ... $(tail -n 1 "$out/chips.txt")"
echo
echo "== A motor-control chip and its sectioned firmware file =="
"$ctl" select IMD111T-6F040 load samples/demo.ldf
echo
echo "== A 16 KB chip: load Intel HEX, save it as S-records and as binary =="
"$ctl" select SC92F848x load samples/demo.hex save "$out/demo.s19" save "$out/demo.bin"
echo "   wrote $(wc -l <"$out/demo.s19") S-record lines and $(stat -c %s "$out/demo.bin") binary bytes"
echo
echo "Next: once the link to the units is built, ./run.sh starts simulated units and downloads a set-up into them."
