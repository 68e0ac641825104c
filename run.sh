#!/usr/bin/env bash
# The demo: builds the host and shows what it can do so far.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -Wno-dev >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
ctl=build/src/tarvelctl

echo "== The chip catalogue (tarvelctl chips) =="
"$ctl" chips
echo
echo "== One chip's derived settings (tarvelctl chip IMD111T-6F040) =="
"$ctl" chip IMD111T-6F040
echo
echo "Next: once the link to the units is built, ./run.sh starts simulated units and downloads a set-up into them."
