#!/bin/bash
# Builds every target and runs every test. On a fresh Debian 12 machine, run
# it as root: it installs what is missing first.
set -eEuo pipefail
# A step that fails says so: set -e alone stops without a word.
trap 'echo "test.sh: line $LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
cd "$(dirname "$0")/.."

./scripts/setup.sh
. scripts/wine-env.sh
# Each step's heading says how long the command has run so far.
step() { echo "== $* (at ${SECONDS} s)"; }

# The Windows tests run the 32-bit product itself, under the 32-bit Wine.
# Only where the kernel cannot run 32-bit programs do they fall back to the
# 64-bit build of the same sources, and say so, loudly, first and last.
if scripts/runs-32bit; then
  windows=win32
  fallback=
else
  windows=win64
  fallback="WARNING: this machine's kernel cannot run 32-bit programs, so the product,
WARNING: the 32-bit build/win32/ui/lexset.exe, was NOT run: its core and GUI
WARNING: tests ran on the 64-bit build of the same sources instead, and the
WARNING: 32-bit executable was only checked as a file; so were the packages,
WARNING: whose install and run tests ran on the 64-bit build's packages."
  echo "$fallback"
fi

for preset in host host-sanitize win32 ${fallback:+win64} fuzz; do
  step "build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

step "tests: native"
ctest --preset host -j2
step "tests: native, AddressSanitizer and UBSan"
ctest --preset host-sanitize -j2
# The Wine servers the tests share (code pages 936 and 1252) are stopped
# however the tests end.
trap 'for cp in 936 1252; do (lexset_wine $windows $cp && "$WINESERVER" -k 2>/dev/null) || true; done' EXIT
if [ -z "$fallback" ]; then
  step "tests: the 32-bit product under 32-bit Wine: core tests, GUI tests, the executable"
  ctest --preset win32 -j2
else
  step "tests: the 32-bit executable as a file; the rest on the 64-bit build under 64-bit Wine"
  ctest --preset win32 -R '^exe_check$'
  ctest --preset win64 -j2
fi
step "the run command: the window, its About box and a message, shown on a virtual display"
rm -f build/lexset.png build/lexset-about.png build/lexset-message.png
env -u DISPLAY ./scripts/run.sh
for shot in build/lexset.png build/lexset-about.png build/lexset-message.png; do
  [ -s "$shot" ] || { echo "run.sh saved no $shot" >&2; exit 1; }
done
step "packages: the zip and the installer, into build/packages/"
./scripts/package.sh
if [ -z "$fallback" ]; then
  step "tests: the packages, installed and run under 32-bit Wine"
  tests/package/package-test.sh win32
else
  step "tests: the packages as files; the 64-bit build's, installed and run under 64-bit Wine"
  tests/package/package-test.sh --files-only win32
  ./scripts/package.sh win64
  tests/package/package-test.sh win64
fi
step "benchmark: smoke run (small corpora; lexset and its peers must agree)"
bench/run.sh --smoke
step "fuzzing: each fuzzer of the job for a minute, side by side"
cmake --build --preset fuzz --target fuzz
step "done"
if [ -n "$fallback" ]; then
  echo "$fallback"
fi
