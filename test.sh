#!/usr/bin/env bash
# All tests: a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer build, each run by CTest,
# then every fuzz target for a few seconds (its regression inputs first), so that a parser that breaks shows.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_build() {
  local dir=$1
  shift
  echo "== $dir =="
  cmake -S . -B "$dir" -G Ninja -Wno-dev "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_build build
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVEL_SANITIZE=ON
echo "== build-fuzz =="
fuzz/run.sh 5
echo "All tests passed (normal and sanitizer builds, fuzz targets)."
