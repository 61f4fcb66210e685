#!/bin/bash
# Builds lexset and runs the word-list job on a sample list. On a fresh
# Debian 12 machine, run it as root: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host

sample=build/sample-words.txt
printf 'pear apple Pear\r\napple 苹果 梨\tbanana\n苹果 Zebra 42\n' >"$sample"
echo "source ($sample):"
cat "$sample"
echo
build/host/lexset-tidy "$sample" build/sample-result.txt || true
echo "result (build/sample-result.txt):"
cat build/sample-result.txt
