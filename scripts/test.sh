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
# The core at the product's width runs on any kernel: under emulation
# where the kernel cannot run it (scripts/run-i386 decides the same way).
if scripts/runs-32bit; then
  core32=natively
else
  core32="under qemu-i386-static"
fi

for preset in host host-sanitize host32 win32 ${fallback:+win64} fuzz; do
  step "build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

step "tests: native"
ctest --preset host -j2
step "tests: native, AddressSanitizer and UBSan"
ctest --preset host-sanitize -j2
step "tests: the core at 32 bits, $core32"
ctest --preset host32 -j2
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
step "the run command: the window, its About box and three messages, shown on a virtual display"
shots="build/lexset.png build/lexset-about.png build/lexset-message.png build/lexset-folder.png build/lexset-read-only.png"
# shellcheck disable=SC2086
rm -f $shots
env -u DISPLAY ./scripts/run.sh
for shot in $shots; do
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
echo "What ran on what on this machine:"
if [ -z "$fallback" ]; then
  echo "- the 32-bit product (build/win32), under the 32-bit Wine: its core tests, GUI tests and"
  echo "  driver test, the executable's check, the run command's window, its packages installed and run"
else
  echo "- the 32-bit product (build/win32): NOT run; the executable and its packages checked as files"
  echo "- the 64-bit stand-in (build/win64), under the 64-bit Wine in the product's place: the core"
  echo "  tests, GUI tests and driver test, the run command's window, its packages installed and run"
fi
echo "- the 32-bit core (build/host32), $core32: the core tests and lexset-tidy's driver test"
echo "- 64 bits natively: the core tests (build/host), again under AddressSanitizer and UBSan"
echo "  (build/host-sanitize), the benchmark's smoke run and the fuzzers"
if [ -n "$fallback" ]; then
  echo "$fallback"
fi
