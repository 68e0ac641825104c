#!/usr/bin/env bash
# The demo: four simulated programmer units on pseudo-terminals, driven by tarvelctl as a production line
# would drive real ones. Builds first; installs what it needs.
# `./run.sh gui` opens the desktop program on the same four units instead.
set -euo pipefail
cd "$(dirname "$0")"
gui=0
if [ "${1:-}" = gui ]; then
  gui=1
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "./run.sh gui: no display to open the window on (DISPLAY is not set)" >&2
    exit 1
  fi
fi
scripts/install-deps.sh
cmake -S . -B build -G Ninja -Wno-dev >/dev/null
targets=(tarvelctl tarvel-unitsim tarvel-mkfwr)
[ $gui = 1 ] && targets+=(tarvel200)
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" >/dev/null
ctl=build/src/tarvelctl
sim=build/tools/unitsim/tarvel-unitsim
mkfwr=build/tools/mkfwr/tarvel-mkfwr

dir=$(mktemp -d)          # the program directory: ConfigKqn.ini, logs
out=$(mktemp -d)
cleanup() {
  [ -n "${simpid:-}" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null || true
  rm -rf "$dir" "$out"
}
trap cleanup EXIT

# The units' firmware file, which the host reads at start-up (the units already run this version).
head -c 6000 /dev/urandom >"$out/firmware.raw"
"$mkfwr" "$out/firmware.raw" V1.10 "$dir/TarvelIMOT.FWR"

echo "== Four simulated units (tarvel-unitsim): on their own each programs 3 chips, one every 0.5 s;"
echo "   unit 3 fails its second chip (code 0x31) =="
"$sim" --units 4 --dir "$dir" --insert-every 0.5 --cycles 3 --fail-cycle 3:2:0x31 >"$out/ports.json" &
simpid=$!
for _ in $(seq 50); do [ -s "$out/ports.json" ] && break; sleep 0.1; done
echo "ports: $(cat "$out/ports.json")"
echo

if [ $gui = 1 ]; then
  echo "== tarvel200 on the program directory $dir: it finds the four units at start-up. Close it to end. =="
  build/src/qt/tarvel200 --dir "$dir"
  exit $?
fi

echo "== Demo 1: an iMOTION chip. Select it, load its sectioned firmware, find the units, download."
echo "   The units restart and program chips on their own; their reports drive the OK/NG counts. =="
"$ctl" --dir "$dir" set ChkBoxAuto=1 select IMD111T-6F040 load samples/demo.ldf find download wait 3
echo

echo "== Demo 2: a chip with EEP (SC95F750x). The host drives blank check, program and verify on all four"
echo "   units, then reads unit 1's chip back and saves what it read. =="
"$ctl" --dir "$dir" select SC95F750x load samples/demo.hex save "$out/image.bin" project-save "$out/line.pmw" \
  find auto read-flash save "$out/readback.bin"
echo

echo "== Demo 3: the production line's unattended mode: the saved project, loaded by the command line,"
echo "   downloaded into every unit; with OFF the result file says \"Download Success\" =="
"$ctl" --dir "$dir" unattended "$out/line.pmw" OFF
echo "   ResDW.Txt: $(tr -d '\r' <"$dir/ResDW.Txt")"
echo

kill "$simpid"
wait "$simpid" || true
simpid=
echo "== The proof: the image loaded, the host's read-back and every simulated chip hold the same bytes =="
status=0
if cmp -s "$out/image.bin" "$out/readback.bin"; then
  echo "   read back from unit 1: identical to the loaded image ($(stat -c %s "$out/image.bin") bytes)"
else
  echo "   read back from unit 1 DIFFERS from the loaded image"; status=1
fi
for k in 1 2 3 4; do
  if cmp -s -n "$(stat -c %s "$out/image.bin")" "$out/image.bin" "$dir/unit$k-flash.bin"; then
    echo "   unit $k's chip: identical"
  else
    echo "   unit $k's chip DIFFERS"; status=1
  fi
done
echo
echo "Shown: device search, download with automatic chip detection, units programming on their own with"
echo "OK/NG counts, the host-driven automatic sequence on four units, read-back, a project saved and"
echo "downloaded unattended, and byte-exact chips."
exit $status
