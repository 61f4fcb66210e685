#!/bin/bash
# Builds every target and runs every test. On a fresh Debian 12 machine, run
# it as root: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

for preset in host host-sanitize win32 win64 fuzz; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== tests: native"
ctest --preset host
echo "== tests: native, AddressSanitizer and UBSan"
ctest --preset host-sanitize
echo "== tests: 64-bit Windows build under Wine"
# The Wine server the tests share is stopped however the tests end.
trap '(. scripts/wine-env.sh && "$WINESERVER" -k 2>/dev/null) || true' EXIT
ctest --preset win64
echo "== benchmark: smoke run (small corpora; lexset and its peers must agree)"
bench/run.sh --smoke
echo "== fuzzing: each fuzzer of the job for a minute"
cmake --build --preset fuzz --target fuzz
