#!/bin/bash
# Runs a fuzzer of the job, or folds its findings into the committed corpus.
#
#   run-fuzz.sh run MODE FUZZER SECONDS
#   run-fuzz.sh minimise MODE FUZZER
#
# MODE is job or spill. A run starts from the committed corpus
# (tests/fuzz/corpus/MODE) plus what earlier runs found (build/fuzz-work/found/MODE)
# and adds to the latter. An input that crashes the job or gives a result
# other than the reference's is copied into tests/fuzz/regressions/MODE,
# where the fuzz corpus test replays it from then on; the run then fails.
# Minimising merges both corpora into the fewest inputs that keep the
# coverage, and makes that the committed corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."

action=$1 mode=$2 fuzzer=$3
corpus=tests/fuzz/corpus/$mode
found=build/fuzz-work/found/$mode
artifacts=build/fuzz-work/artifacts/$mode
mkdir -p "$found" "$artifacts" "tests/fuzz/regressions/$mode"

case $action in
  run)
    seconds=$4
    status=0
    # The corpora hold inputs up to 64 KB; longer ones find long words.
    "$fuzzer" -max_total_time="$seconds" -max_len=65536 -dict=tests/fuzz/words.dict \
      -artifact_prefix="$artifacts/" -print_final_stats=1 -print_pcs=0 "$found" "$corpus" \
      2>&1 | grep -E '^(#[0-9]+[[:space:]]*(INITED|DONE)|stat::|==|SUMMARY|Test unit written|the job|with a memory|[0-9]+ run files)' ||
      true
    for failed in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
      [ -e "$failed" ] || continue
      name=$(basename "$failed")
      cp "$failed" "tests/fuzz/regressions/$mode/$name"
      rm -f "$failed"
      echo "fuzz: $mode: $name kept as tests/fuzz/regressions/$mode/$name; fix the job, then commit it"
      status=1
    done
    exit $status
    ;;
  minimise)
    merged=build/fuzz-work/merged/$mode
    rm -rf "$merged"
    mkdir -p "$merged"
    "$fuzzer" -merge=1 -max_len=4096 "$merged" "$corpus" "$found" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new' || true
    # Inputs are cut at 4 KiB, which keeps the committed corpus small; the
    # seeds stay as they are (they name the cases they were made for, long
    # words and buffer edges among them).
    find "$corpus" -type f ! -name 'seed-*' -delete
    # libFuzzer names what it keeps by the SHA-1 of its bytes, so a seed it
    # kept is known by its checksum.
    seeds=$(sha1sum "$corpus"/seed-* | cut -d' ' -f1)
    for input in "$merged"/*; do
      name=$(basename "$input")
      grep -qx "$name" <<<"$seeds" || cp "$input" "$corpus/$name"
    done
    echo "fuzz: $mode corpus: $(ls "$corpus" | wc -l) inputs, $(cat "$corpus"/* | wc -c) bytes"
    ;;
  *)
    echo "usage: run-fuzz.sh run|minimise MODE FUZZER [SECONDS]" >&2
    exit 2
    ;;
esac
