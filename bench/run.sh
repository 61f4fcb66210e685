#!/bin/bash
# Times lexset-tidy against two peers on generated word lists, checks that
# all of them give the same result, and prints a Markdown table.
#
#   bench/run.sh [--sizes 100M,1G] [--profiles zipf,unique,sorted,dupheavy,real,utf16]
#                [--runs 5] [--seed 1] [--cache build/bench] [--smoke]
#                [--tidy PATH] [--only lexset[,sort,baseline]] [--results DIR]
#                [--win32] [--pieces 2,8,64] [--threads 1,2] [--before PATH]
#                [--every N] [--lists K] [--stretch L] [--memory-limit BYTES]
#   bench/run.sh --spill [--budget BYTES] [--sizes 2G] [--profiles spill]
#                [--runs 1] [and the options above]
#
# Peers:
#   sort      tr -s ' \t\n\r\v\f' '\n' < IN | LC_ALL=C sort -u > OUT
#   baseline  build/host/bench/lexset-baseline, std::set and iostreams
#
# The utf16 profile is the real one as Windows programs save it, UTF-8 with
# a byte-order mark and UTF-16 (little-endian); lexset alone reads both,
# and its UTF-16 time is given against its UTF-8 time.
#
# Two profiles, not run unless asked for (--profiles appended,pieces), are
# lists made of sorted pieces, each timed in one file and as several
# sources (lexset-tidy A B ... OUT; the peers read cat A B ...):
#   appended  the sorted profile with the unique profile's first 100 KiB
#             after it; as 2 sources, the sorted corpus and those new
#             words. The sorted profile is timed too, and lexset's times
#             are given against its time on the sorted corpus alone
#   pieces    the sorted profile dealt into K sorted pieces, line i to piece
#             i mod K, joined (K = 2: the odd lines, then the even lines);
#             as K sources, the pieces
# --pieces LIST  the counts of pieces, K, for the pieces profile (with
#             --spill, each one-file corpus of them)
#
# Three more profiles, not run unless asked for (--profiles
# outliers,dealt,stretches), are lists almost in order. Each is timed
# beside the same words shuffled (lexset-corpus --shuffled: every word as
# often, the separators where they were, the same size), and a second
# table gives each tool's time and peak RSS on the shape against those on
# the shuffled list, with lexset's runs and merge passes (--stats):
#   outliers  the sorted profile with every N-th word from anywhere in the
#             range (--every N, 4097 by default)
#   dealt     K sorted lists, each over the whole range, dealt word by word
#             into one (--lists K, 200 by default)
#   stretches ascending stretches of about L words, each over the whole
#             range, one after the other (--stretch L, 120000 by default;
#             4000 in a smoke run, whose lists are small)
# --memory-limit BYTES  the shapes' runs with lexset-tidy --memory-limit
#             BYTES and sort -S BYTES (its temporary files beside its
#             result); the baseline keeps every word in memory. The second
#             table gives lexset's peak RSS against the limit too
#
# --threads LIST  time lexset-tidy --threads N for each N of the list
#             (e.g. 1,2): the first is the row "lexset", against which the
#             times are given, the others follow it. Without the list,
#             lexset-tidy is run without --threads, as it was before
# --before PATH  also time the program before a change, another
#             lexset-tidy binary, as the row "before" after lexset's; it
#             is never given --threads, which older binaries do not know
#
# --smoke     1M of each profile (appended, pieces and the shapes too),
#             one run, then the larger-than-memory case on 4M: a quick
#             check that everything works and agrees (scripts/test.sh
#             runs it); with --spill, that case alone
# --tidy PATH time another lexset-tidy binary, to compare before and after
# --only LIST time only these tools; lexset is always timed, since the
#             ratios are against it, and its output is still checked
#             against a cached reference made by the baseline
# --results DIR  where the tools write their results (default: out/ in
#             the cache folder), and so where lexset's run files and sort's
#             temporary files go. lexset flushes its result to disk before
#             putting it in place and the peers do not; on a RAM disk
#             (/dev/shm/...) that costs nothing, and the figures compare
#             the work alone. Run once with a folder on disk and once with
#             one on /dev/shm for both figures (--cache puts the corpora on
#             either too)
#
# --spill     the larger-than-memory case: by default the spill profile,
#             2G, one run; lexset and sort only, each given the same memory
#             budget, a tenth of the bytes of the distinct words (the size
#             of the result): lexset-tidy --memory-limit, and sort -S with
#             its temporary files beside its result, as lexset's run files
#             are. Also reports the temporary disk used at the peak
#             (lexset's from --stats, sort's by measuring its folder every
#             0.2 s) and lexset's runs and merge passes. The reference
#             result is the sort pipeline's with sort's own settings, made
#             once per corpus
# --budget BYTES  with --spill, this budget instead of a tenth
#
# --win32     also time the product's own console program, the 32-bit
#             build/win32/lexset-tidy.exe (built if missing), under the
#             32-bit Wine (scripts/wine-run), as the row "lexset-tidy.exe
#             (win32)" after lexset's, its result checked like every
#             other; with --spill it gets the same --memory-limit. Wine
#             takes a while to start a program: that start-up is measured
#             once per bench run (the median of 5 runs on an empty list)
#             and taken off the win32 rows' times and page faults, which
#             give the figures as measured in brackets (a time left no
#             longer than the start-up is marked ~, within its noise). One
#             Wine server serves the whole run. Needs a kernel that runs
#             32-bit programs (scripts/runs-32bit)
#
# Every row gives the tool's peak RSS (its largest process) and page faults
# (minor+major, summed over its processes), as /usr/bin/time reports them.
#
# Corpora and reference results are kept in the cache folder under names
# that carry the profile, size, seed and generator version, and reused.
set -euo pipefail
cd "$(dirname "$0")/.."

# Byte-wise behaviour for sort, and a '.' decimal point for printf.
export LC_ALL=C

# Bump when lexset-corpus writes different bytes for the same arguments, so
# that cached corpora are not mistaken for the new ones.
CORPUS_VERSION=2

# Word lists for the real profile, and the Debian packages they come from.
REAL_LISTS=(
  /usr/share/dict/american-english:wamerican
  /usr/share/dict/british-english:wbritish
  /usr/share/rime-data/essay.txt:rime-essay
)

# Defaults that depend on --spill and --smoke are set after the arguments.
sizes=
profiles=
runs=
seed=1
cache=build/bench
tidy=
only=
results=
spill=
budget=
smoke=
win32=
pieces=2,8,64
threads=
before=
every=4097
lists=200
stretch=
memory_limit=
jobtime_iterations=2000

# The size of the larger-than-memory case in a smoke run.
SMOKE_SPILL_SIZE=4M
# The stretches of the stretches profile in a smoke run: 1M holds about
# 22 of them.
SMOKE_STRETCH=4000
# The new words of the appended profile, as lexset-corpus adds them: the
# unique profile of this size is the second source.
APPENDED_NEW_SIZE=100K

die() {
  echo "bench: $*" >&2
  exit 1
}

note() { echo "bench: $*" >&2; }

# The comment at the top of this file, on stdout when asked for and on
# stderr after a wrong argument.
usage() {
  if [ "$1" -eq 0 ]; then
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
  else
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2
  fi
  exit "$1"
}

while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift ;;
    --profiles) profiles=$2; shift ;;
    --runs) runs=$2; shift ;;
    --seed) seed=$2; shift ;;
    --cache) cache=$2; shift ;;
    --tidy) tidy=$2; shift ;;
    --only) only=$2; shift ;;
    --results) results=$2; shift ;;
    --spill) spill=1 ;;
    --budget) budget=$2; shift ;;
    --win32) win32=1 ;;
    --pieces) pieces=$2; shift ;;
    --threads) threads=$2; shift ;;
    --before) before=$2; shift ;;
    --every) every=$2; shift ;;
    --lists) lists=$2; shift ;;
    --stretch) stretch=$2; shift ;;
    --memory-limit) memory_limit=$2; shift ;;
    --smoke) smoke=1 sizes='' runs=1 jobtime_iterations=200 ;;
    -h | --help) usage 0 ;;
    *) echo "bench: unknown argument $1" >&2; usage 2 ;;
  esac
  shift
done
if [ -n "$spill" ]; then
  : "${sizes:=$([ -n "$smoke" ] && echo "$SMOKE_SPILL_SIZE" || echo 2G)}" "${profiles:=spill}" "${runs:=1}"
  : "${only:=lexset,sort}"
else
  [ -z "$budget" ] || die "--budget goes with --spill"
  : "${sizes:=$([ -n "$smoke" ] && echo 1M || echo 100M,1G)}"
  : "${profiles:=zipf,unique,sorted,dupheavy,real,utf16${smoke:+,appended,pieces,outliers,dealt,stretches}}"
  : "${runs:=5}" "${only:=lexset,sort,baseline}"
fi
: "${results:=$cache/out}"
: "${stretch:=$([ -n "$smoke" ] && echo "$SMOKE_STRETCH" || echo 120000)}"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs wants a positive number, not '$runs'"
[[ $seed =~ ^[0-9]+$ ]] || die "--seed wants a number, not '$seed'"
[ -z "$budget" ] || [[ $budget =~ ^[1-9][0-9]*$ ]] || die "--budget wants a positive number of bytes, not '$budget'"
[ -z "$memory_limit" ] || [[ $memory_limit =~ ^[1-9][0-9]*$ ]] ||
  die "--memory-limit wants a positive number of bytes, not '$memory_limit'"
[ -z "$memory_limit" ] || [ -z "$spill" ] || die "--memory-limit goes with the shapes; --spill has --budget"
[[ $every =~ ^([2-9]|[1-9][0-9]+)$ ]] || die "--every wants a count of 2 or more, not '$every'"
[[ $lists =~ ^[1-9][0-9]*$ ]] || die "--lists wants a positive count, not '$lists'"
[[ $stretch =~ ^[1-9][0-9]*$ ]] || die "--stretch wants a positive count of words, not '$stretch'"

IFS=, read -r -a SIZES <<<"$sizes"
IFS=, read -r -a PROFILES <<<"$profiles"
IFS=, read -r -a ONLY <<<"$only"
IFS=, read -r -a PIECES <<<"$pieces"
IFS=, read -r -a THREADS <<<"$threads"
for n in "${THREADS[@]}"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || die "--threads wants counts of 1 or more, not '$n'"
  [[ ",$threads," != *",$n,"*",$n,"* ]] || die "--threads names $n twice"
done
# lexset at its further thread counts, the program before and the 32-bit
# program come right after lexset's row.
TOOLS=(lexset)
for n in "${THREADS[@]:1}"; do TOOLS+=("lexset-t$n"); done
TOOLS+=(${before:+before} ${win32:+win32})
for tool in "${ONLY[@]}"; do
  case $tool in
    lexset) ;;
    sort | baseline) TOOLS+=("$tool") ;;
    *) die "--only knows lexset, sort and baseline, not '$tool'" ;;
  esac
done
# The larger-than-memory case times the tools that can keep to a budget:
# the baseline holds every word in memory.
SPILL_TOOLS=()
for tool in "${TOOLS[@]}"; do
  case $tool in
    baseline) [ -z "$spill" ] || die "--spill times lexset and sort only: the baseline keeps every word in memory" ;;
    *) SPILL_TOOLS+=("$tool") ;;
  esac
done
if [ -n "$win32" ]; then
  scripts/runs-32bit ||
    die "--win32 runs the 32-bit lexset-tidy.exe under the 32-bit Wine, and this machine's kernel cannot run 32-bit programs"
  [ -x /usr/lib/wine/wine ] || die "--win32 needs the 32-bit Wine (wine32:i386): run scripts/setup.sh"
fi
for profile in "${PROFILES[@]}"; do
  case $profile in
    zipf | unique | sorted | dupheavy | real | utf16 | spill | appended | pieces | outliers | dealt | stretches) ;;
    *) die "unknown profile '$profile'" ;;
  esac
done
for k in "${PIECES[@]}"; do
  [[ $k =~ ^([2-9]|[1-9][0-9]+)$ ]] || die "--pieces wants counts of 2 or more, not '$k'"
done
# The appended lists' times are given against the sorted list's in the
# same run: time it before them unless asked for already.
if [ -z "$spill" ] && [[ " ${PROFILES[*]} " == *" appended "* ]] && [[ " ${PROFILES[*]} " != *" sorted "* ]]; then
  for i in "${!PROFILES[@]}"; do
    if [ "${PROFILES[i]}" = appended ]; then
      PROFILES=("${PROFILES[@]:0:i}" sorted "${PROFILES[@]:i}")
      break
    fi
  done
fi

# ---------------------------------------------------------------- tools --

BIN=build/host
if [ ! -f "$BIN/CMakeCache.txt" ]; then
  cmake --preset host >/dev/null
fi
# Only the benchmark's own targets: the tests need not be built for this.
cmake --build --preset host --target lexset-tidy lexset-corpus lexset-baseline lexset-jobtime >/dev/null ||
  die "the build failed; run: cmake --build --preset host"
CORPUS=$BIN/bench/lexset-corpus
BASELINE=$BIN/bench/lexset-baseline
JOBTIME=$BIN/bench/lexset-jobtime
TIDY=${tidy:-$BIN/lexset-tidy}
[ -x "$TIDY" ] || die "no lexset-tidy binary at $TIDY"
[ -z "$before" ] || [ -x "$before" ] || die "no lexset-tidy binary at $before (--before)"
if [ ${#THREADS[@]} -gt 0 ] && ! "$TIDY" --help 2>/dev/null | grep -q -e '--threads'; then
  die "$TIDY has no --threads option: leave out --threads"
fi
[ -x /usr/bin/time ] || die "/usr/bin/time is missing: apt-get install time"

# wine_server ARGS: the Wine server of the 32-bit build's prefix, run with
# the project's Wine settings (kept to a subshell: they set another locale).
wine_server() { (. scripts/wine-env.sh && lexset_wine win32 && "$WINESERVER" "$@"); }

# wine_path PATH: PATH as the Windows program names it. Wine's Z: drive is
# the Unix root. A path with characters beyond ASCII would reach the
# program in its ANSI code page; the benchmark's paths have none.
wine_path() {
  local path
  path=$(realpath -m -- "$1")
  printf 'Z:%s' "${path//\//\\}"
}

TIDY_EXE=build/win32/lexset-tidy.exe
if [ -n "$win32" ]; then
  if [ ! -f build/win32/CMakeCache.txt ]; then
    cmake --preset win32 >/dev/null
  fi
  cmake --build --preset win32 --target lexset-tidy >/dev/null ||
    die "the win32 build failed; run: cmake --build --preset win32"
  [ -f "$TIDY_EXE" ] || die "no 32-bit program at $TIDY_EXE"
  (. scripts/wine-env.sh && lexset_wine win32 && lexset_wine_prefix) || die "cannot make the Wine prefix"
  # One Wine server for the whole run, kept running between the programs
  # (on its own it stops 3 s after the last one), so that every run of the
  # program, and the start-up measured on its own, find it started alike.
  # Stopping it stops any other Wine program of this checkout's prefix:
  # do not run the Windows tests meanwhile.
  wine_server -k 2>/dev/null || true
  wine_server -p </dev/null >/dev/null 2>&1 || die "cannot start the Wine server"
  trap 'wine_server -k 2>/dev/null || true' EXIT
  # A benchmark on large lists may take longer than wine-run's default limit.
  export LEXSET_WINE_TIMEOUT=${LEXSET_WINE_TIMEOUT:-0}
fi

mkdir -p "$cache/out"
OUT=$cache/out
# A results folder made here is removed again at the end, if empty.
made_results=
[ -d "$results" ] || made_results=1
mkdir -p "$results" || die "cannot make the results folder $results"
RESULTS=$results

# ------------------------------------------------------------- corpora --

# Prints the word-list arguments for the real profile, or says which
# package to install for a missing list.
real_word_lists() {
  local entry path package missing=
  for entry in "${REAL_LISTS[@]}"; do
    path=${entry%%:*} package=${entry##*:}
    if [ -r "$path" ]; then
      printf -- '--words\n%s\n' "$path"
    else
      echo "bench: the real profile needs $path: apt-get install $package" >&2
      missing=1
    fi
  done
  [ -z "$missing" ]
}

corpus_path() { echo "$cache/corpus-v$CORPUS_VERSION-$1-$2-s$seed.txt"; }

# Makes the corpus unless the cache has it already. It is written under a
# temporary name and renamed, so an interrupted run never leaves a partial
# corpus that a later run would take for a whole one. PROFILE piecesK is
# the pieces profile with K pieces, which are kept too, as PATH.1 ...
# PATH.K; outliersN, dealtK and stretchesL are those profiles with --every
# N, --lists K and --stretch L; any PROFILE-shuffled is the same words
# shuffled.
ensure_corpus() {
  local profile=$1 size=$2 path
  path=$(corpus_path "$profile" "$size")
  [ -f "$path" ] && return 0
  local extra=() generate=${profile%-shuffled} k=0 i
  case $generate in
    real)
      real_word_lists >/dev/null || die "cannot make the real profile"
      mapfile -t extra < <(real_word_lists)
      ;;
    pieces*) k=${generate#pieces} generate=pieces extra=(--pieces "$k" --split) ;;
    outliers*) extra=(--every "${generate#outliers}") generate=outliers ;;
    dealt*) extra=(--lists "${generate#dealt}") generate=dealt ;;
    stretches*) extra=(--stretch "${generate#stretches}") generate=stretches ;;
  esac
  [[ $profile != *-shuffled ]] || extra+=(--shuffled)
  note "generating $profile $size (seed $seed)"
  /usr/bin/time -f '%e %M' -o "$OUT/corpus.time" \
    "$CORPUS" "$generate" "$size" "$path.tmp" --seed "$seed" "${extra[@]}" ||
    die "lexset-corpus failed for $profile $size"
  for ((i = 1; i <= k; i++)); do mv "$path.tmp.$i" "$path.$i"; done
  mv "$path.tmp" "$path"
  local seconds rss
  read -r seconds rss <"$OUT/corpus.time"
  note "generated $path in ${seconds} s, peak memory $((rss / 1024)) MiB"
}

# The simple peer's result, kept beside the corpus: lexset's output is
# checked against it even when the peers are not timed. A timed run of the
# baseline gives it for free (on 1G lists one more run takes minutes);
# otherwise the baseline is run once for it, untimed.
ensure_reference() {
  local corpus=$1 baseline_output=$2
  if [ ! -f "$corpus.expected" ] || [ "$corpus" -nt "$corpus.expected" ]; then
    if [ -f "$baseline_output" ]; then
      cp "$baseline_output" "$corpus.expected.tmp"
    else
      note "making the reference result for $corpus"
      "$BASELINE" "$corpus" "$corpus.expected.tmp" || die "lexset-baseline failed on $corpus"
    fi
    rm -f "$corpus.expected.sort"
    mv "$corpus.expected.tmp" "$corpus.expected"
  fi
}

# watch_folder DIR FILE: until FILE.stop appears (or this script is
# gone), measures the files in DIR every 0.2 s and keeps the largest total
# seen, in bytes, in FILE. Files may vanish while du looks at them.
watch_folder() {
  local dir=$1 file=$2 empty bytes peak=0
  empty=$(du -sb "$dir" | cut -f 1)
  echo 0 >"$file"
  while [ ! -e "$file.stop" ] && kill -0 $$ 2>/dev/null; do
    bytes=$(du -sb "$dir" 2>/dev/null | cut -f 1) || true
    if [ -n "$bytes" ] && [ $((bytes - empty)) -gt "$peak" ]; then
      peak=$((bytes - empty))
      echo "$peak" >"$file"
    fi
    sleep 0.2
  done
}

# start_watch DIR: makes DIR, empty, and starts measuring it in the
# background; stop_watch stops that, removes DIR and sets TEMP_BYTES to the
# most it held.
start_watch() {
  WATCHED=$1
  rm -rf "$WATCHED" "$OUT/temp.txt.stop"
  mkdir -p "$WATCHED"
  watch_folder "$WATCHED" "$OUT/temp.txt" &
  WATCHER=$!
}

stop_watch() {
  touch "$OUT/temp.txt.stop"
  wait "$WATCHER"
  rm -rf "$WATCHED" "$OUT/temp.txt.stop"
  TEMP_BYTES=$(cat "$OUT/temp.txt")
}

# The reference for the larger-than-memory case, whose distinct words the
# baseline could not hold: the sort pipeline's result with sort's own
# settings, its lines given CR LF ends. The run is measured by the way
# (time, peak memory, temporary disk at the peak), and the figures are kept
# beside the reference for the table's notes.
ensure_sorted_reference() {
  local corpus=$1
  if [ ! -f "$corpus.expected" ] || [ "$corpus" -nt "$corpus.expected" ]; then
    note "making the reference result for $corpus with sort"
    rm -f "$corpus.expected.sort"
    local start end failed=''
    start_watch "$OUT/reference-tmp"
    start=${EPOCHREALTIME/[.,]/}
    /usr/bin/time -f '%M' -o "$OUT/time.txt" bash -c "$SORT_REFERENCE_PIPELINE" reference \
      "$corpus" "$corpus.expected.lf" "$WATCHED" || failed=1
    end=${EPOCHREALTIME/[.,]/}
    stop_watch
    [ -z "$failed" ] || die "the sort pipeline failed on $corpus"
    sed -e '/^$/d' -e 's/$/\r/' "$corpus.expected.lf" >"$corpus.expected.tmp"
    rm -f "$corpus.expected.lf"
    mv "$corpus.expected.tmp" "$corpus.expected"
    echo "$((end - start)) $(tail -n 1 "$OUT/time.txt") $TEMP_BYTES" >"$corpus.expected.sort"
  fi
}

# -------------------------------------------------------------- timing --

# The coreutils peer, run by its own shell with IN and OUT as $1 and $2.
# With a budget, it gets BYTES and a folder for its temporary files as $3
# and $4 (sort -S takes KiB unless told otherwise: hence the b); for the
# reference, only the folder, as $3.
# shellcheck disable=SC2016
SORT_COMMAND='set -o pipefail; tr -s " \t\n\r\v\f" "\n" <"$1" | LC_ALL=C sort -u'
# shellcheck disable=SC2016
SORT_PIPELINE=$SORT_COMMAND' >"$2"'
# shellcheck disable=SC2016
SORT_BUDGET_PIPELINE=$SORT_COMMAND' -S "${3}b" -T "$4" >"$2"'
# shellcheck disable=SC2016
SORT_REFERENCE_PIPELINE=$SORT_COMMAND' -T "$3" >"$2"'
# Several sources, read by cat: OUT is $1, the sources the rest.
# shellcheck disable=SC2016
SORT_SOURCES_PIPELINE='set -o pipefail; out=$1; shift; cat -- "$@" | tr -s " \t\n\r\v\f" "\n" | LC_ALL=C sort -u >"$out"'
# The baseline reads one source: given several, it reads cat of them.
# shellcheck disable=SC2016
BASELINE_SOURCES_PIPELINE='set -o pipefail; baseline=$1 out=$2; shift 2; cat -- "$@" | "$baseline" /dev/stdin "$out"'

# run_tool TOOL OUT BUDGET IN...: one timed run (BUDGET may be empty; with
# several sources IN, lexset reads them as its sources, the peers cat of
# them, and there is no budget). Sets ELAPSED_US (wall
# clock, taken around /usr/bin/time, whose own %e has only centiseconds),
# RSS_KB (the largest process's peak; for the sort pipeline that is sort)
# and MINOR_FAULTS and MAJOR_FAULTS (summed over the processes the command
# waited for: for the sort pipeline, its shell, tr and sort). With a BUDGET
# in bytes, lexset gets it as its memory limit and sort as its buffer, with
# a folder for its temporary files beside OUT; then TEMP_BYTES is the most
# the temporary files held at one time, and for lexset (every build and
# thread count, and the program before) SPILL_RUNS, SPILL_PASSES and
# SPILL_WRITTEN say how many runs and merge passes there were and how many
# bytes went to run files; those three are also set, from --stats, when
# ROW_STATS is set (the shapes' rows), with or without a budget.
#
# lexset runs with --threads at the first count of --threads LIST, if
# given; lexset-tN with --threads N; before, the program before, never.
#
# The win32 tool is lexset-tidy.exe run by scripts/wine-run: its page
# faults are those of wine-run's shell, timeout, Wine's loader and its
# child, the Wine process that is the program (Wine's DLLs included), and
# its peak RSS that process's. The Wine server and Wine's service programs
# are not the command's children, and are not counted: they keep running
# between the runs (see wine_server above).
run_tool() {
  local tool=$1 out=$2 budget=$3 in=$4 start end watched='' temp source
  shift 3
  local -a command options=()
  temp=$(dirname "$out")/sort-tmp
  [ -z "$budget" ] || options+=(--memory-limit "$budget")
  [ -z "$budget$ROW_STATS" ] || options+=(--stats)
  case $tool in
    lexset) command=("$TIDY" ${THREADS[0]:+--threads "${THREADS[0]}"} "${options[@]}" "$@" "$out") ;;
    lexset-t*) command=("$TIDY" --threads "${tool#lexset-t}" "${options[@]}" "$@" "$out") ;;
    before) command=("$before" "${options[@]}" "$@" "$out") ;;
    win32)
      command=(scripts/wine-run win32 "$TIDY_EXE" "${options[@]}")
      for source; do command+=("$(wine_path "$source")"); done
      command+=("$(wine_path "$out")")
      ;;
    baseline)
      if [ $# -eq 1 ]; then
        command=("$BASELINE" "$in" "$out")
      else
        command=(bash -c "$BASELINE_SOURCES_PIPELINE" baseline "$BASELINE" "$out" "$@")
      fi
      ;;
    sort)
      if [ $# -gt 1 ]; then
        command=(bash -c "$SORT_SOURCES_PIPELINE" sort "$out" "$@")
      elif [ -n "$budget" ]; then
        command=(bash -c "$SORT_BUDGET_PIPELINE" sort "$in" "$out" "$budget" "$temp")
      else
        command=(bash -c "$SORT_PIPELINE" sort "$in" "$out")
      fi
      ;;
  esac
  rm -f "$out"
  if [ "$tool" = sort ] && [ -n "$budget" ]; then
    start_watch "$temp"
    watched=1
  fi
  start=${EPOCHREALTIME/[.,]/}
  local failed=
  # No tool writes to its standard output here; Wine's programs are kept
  # off the script's, which a pipe may be waiting on.
  /usr/bin/time -f '%M %R %F' -o "$OUT/time.txt" "${command[@]}" >/dev/null 2>"$OUT/stderr.txt" </dev/null || failed=1
  end=${EPOCHREALTIME/[.,]/}
  [ -z "$watched" ] || stop_watch
  if [ -n "$failed" ]; then
    cat "$OUT/stderr.txt" >&2
    die "$tool failed on $*"
  fi
  ELAPSED_US=$((end - start))
  read -r RSS_KB MINOR_FAULTS MAJOR_FAULTS < <(tail -n 1 "$OUT/time.txt")
  [ -n "$budget$ROW_STATS" ] || return 0
  case $tool in sort | baseline) return 0 ;; esac
  # "runs=3 merge_passes=0 run_bytes_written=123 peak_run_bytes=123"; the
  # Windows program ends its lines with CR LF.
  local field stats
  stats=$(tr -d '\r' <"$OUT/stderr.txt" | grep '^runs=') || die "lexset-tidy --stats printed no figures"
  for field in $stats; do
    case $field in
      runs=*) SPILL_RUNS=${field#*=} ;;
      merge_passes=*) SPILL_PASSES=${field#*=} ;;
      run_bytes_written=*) SPILL_WRITTEN=${field#*=} ;;
      peak_run_bytes=*) TEMP_BYTES=${field#*=} ;;
    esac
  done
}

# check_output TOOL OUT LEXSET_OUT: every tool must write exactly what
# lexset wrote. sort ends lines with LF alone, and leaves one empty line
# when the input starts with separators; no word can be empty, so dropping
# empty lines drops only that one.
check_output() {
  local tool=$1 out=$2 reference=$3
  local ok=1
  case $tool in
    sort) sed -e '/^$/d' -e 's/$/\r/' "$out" | cmp - "$reference" >&2 || ok= ;;
    *) cmp "$out" "$reference" >&2 || ok= ;;
  esac
  [ -n "$ok" ] && return 0
  echo >&2
  echo "bench: MISMATCH: $tool's result $out differs from $reference" >&2
  case $reference in
    *.expected)
      if [ -f "$reference.sort" ]; then
        echo "bench: (the reference is the sort pipeline's result on the same corpus, with sort's own settings)" >&2
      else
        echo "bench: (the reference is lexset-baseline's result on ${reference%.expected}, which has the same words)" >&2
      fi
      ;;
  esac
  echo "bench: the files are kept for a look; the benchmark stops here" >&2
  exit 1
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# fixed VALUE SCALE [DECIMALS]: VALUE / SCALE, rounded, two decimals unless
# told otherwise (integers only: bash has no floating point).
fixed() {
  local decimals=${3:-2} unit=1 i
  for ((i = 0; i < decimals; i++)); do unit=$((unit * 10)); done
  local scaled=$((($1 * unit + $2 / 2) / $2))
  if [ "$decimals" -eq 0 ]; then
    printf '%d' "$scaled"
  else
    printf '%d.%0*d' $((scaled / unit)) "$decimals" $((scaled % unit))
  fi
}

size_label() { echo "$1" | sed 's/[kK]$/ KiB/; s/[mM]$/ MiB/; s/[gG]$/ GiB/'; }

# tool_name TOOL: the row's name for it; lexset's says its thread count
# when --threads was given.
tool_name() {
  case $1 in
    win32) echo "lexset-tidy.exe (win32)" ;;
    lexset) echo "lexset${THREADS[0]:+, ${THREADS[0]} thread$([ "${THREADS[0]}" = 1 ] || echo s)}" ;;
    lexset-t*) echo "lexset, ${1#lexset-t} thread$([ "${1#lexset-t}" = 1 ] || echo s)" ;;
    before) echo "before" ;;
    *) echo "$1" ;;
  esac
}

# Wine's start-up, as wine_startup measures it: wall clock, peak RSS and
# page faults of lexset-tidy.exe on an empty list.
WINE_START_RUNS=5
WINE_START_US=0
WINE_START_RSS=0
WINE_START_MINOR=0
WINE_START_MAJOR=0
WINE_FIRST_US=0

# wine_startup: runs lexset-tidy.exe on an empty list, once to start
# Wine's service programs (WINE_FIRST_US, not counted), then
# WINE_START_RUNS times, and keeps the medians (the largest peak RSS).
wine_startup() {
  local empty=$OUT/empty.txt run
  local -a start_us=() start_minor=() start_major=()
  : >"$empty"
  rm -f "$RESULTS/win32.txt"
  note "Wine start-up: starting Wine's service programs"
  run_tool win32 "$RESULTS/win32.txt" "" "$empty"
  WINE_FIRST_US=$ELAPSED_US
  for ((run = 1; run <= WINE_START_RUNS; run++)); do
    note "Wine start-up: lexset-tidy.exe on an empty list, run $run of $WINE_START_RUNS"
    run_tool win32 "$RESULTS/win32.txt" "" "$empty"
    check_output win32 "$RESULTS/win32.txt" "$empty"
    start_us+=("$ELAPSED_US") start_minor+=("$MINOR_FAULTS") start_major+=("$MAJOR_FAULTS")
    [ "$WINE_START_RSS" -ge "$RSS_KB" ] || WINE_START_RSS=$RSS_KB
  done
  WINE_START_US=$(median "${start_us[@]}")
  WINE_START_MINOR=$(median "${start_minor[@]}")
  WINE_START_MAJOR=$(median "${start_major[@]}")
  rm -f "$empty" "$RESULTS/win32.txt"
}

# timing_cells TOOL US BYTES LEXSET_US: a row's time, MiB/s and time vs
# lexset cells, from the median time US on BYTES of input. The win32
# tool's time has Wine's start-up taken off, and is given as measured in
# brackets; when what is left is no longer than the start-up itself, it is
# within the start-up's noise: marked ~, and no speed is made of it.
timing_cells() {
  local tool=$1 us=$2 bytes=$3 lexset_us=$4 measured=''
  if [ "$tool" = win32 ]; then
    measured=" ($(fixed "$us" 1000000 3))"
    us=$((us - WINE_START_US))
    if [ "$us" -le "$WINE_START_US" ]; then
      echo "~$([ "$us" -gt 0 ] && fixed "$us" 1000000 3 || echo 0)$measured | – | –"
      return 0
    fi
  fi
  echo "$(fixed "$us" 1000000 3)$measured | $(fixed $((bytes * 1000000 / 1048576)) "$us" 1) | $(fixed "$us" "$lexset_us")×"
}

# faults_cell TOOL MINOR MAJOR: "minor+major" page faults; for the win32
# tool with those of Wine's start-up taken off, and as measured in
# brackets.
faults_cell() {
  local tool=$1 minor_faults=$2 major_faults=$3
  if [ "$tool" = win32 ]; then
    local net_minor=$((minor_faults - WINE_START_MINOR)) net_major=$((major_faults - WINE_START_MAJOR))
    echo "$((net_minor > 0 ? net_minor : 0))+$((net_major > 0 ? net_major : 0)) ($minor_faults+$major_faults)"
  else
    echo "$minor_faults+$major_faults"
  fi
}

# remove_results TOOL...: the tools' results in the results folder.
remove_results() {
  local tool
  for tool; do rm -f "$RESULTS/$tool.txt"; done
}

ROWS=()
# lexset's median time on each row, by "LABEL SIZE".
declare -A LEXSET_US=()
# Every tool's median time, largest peak RSS and lexset's --stats on the
# shapes' rows, by "LABEL SIZE TOOL"; the stats as "runs passes".
declare -A ROW_US=() ROW_KB=() ROW_SPILL=()
# Set around the shapes' rows: the budget for their runs (--memory-limit),
# and whether lexset prints its --stats.
ROW_LIMIT=
ROW_STATS=

# bench_one PROFILE SIZE: all runs of all tools on one corpus.
bench_one() {
  local profile=$1 size=$2 corpus
  ensure_corpus "$profile" "$size"
  corpus=$(corpus_path "$profile" "$size")
  bench_sources "$profile" "$size" "$corpus" "$corpus"
}

# bench_sources LABEL SIZE REFERENCE IN...: all runs of all tools on the
# sources IN, interleaved so that a slow spell of the machine hurts every
# tool alike; the row is called LABEL. The sources hold the same words as
# the corpus REFERENCE, whose reference result lexset's must be.
bench_sources() {
  local label=$1 size=$2 reference=$3 source
  shift 3
  # Results left by a run that stopped must not pass for this run's.
  remove_results "${TOOLS[@]}"
  local bytes=0
  for source; do bytes=$((bytes + $(stat -c %s "$source"))); done

  declare -A times=() peak=() minor=() major=()
  local run tool
  for ((run = 1; run <= runs; run++)); do
    for tool in "${TOOLS[@]}"; do
      note "$label $size: $tool, run $run of $runs"
      run_tool "$tool" "$RESULTS/$tool.txt" "$ROW_LIMIT" "$@"
      times[$tool]+=" $ELAPSED_US"
      minor[$tool]+=" $MINOR_FAULTS" major[$tool]+=" $MAJOR_FAULTS"
      [ "${peak[$tool]:-0}" -ge "$RSS_KB" ] || peak[$tool]=$RSS_KB
      [ -z "$ROW_STATS" ] || [ "$tool" = sort ] || [ "$tool" = baseline ] ||
        ROW_SPILL[$label $size $tool]="$SPILL_RUNS $SPILL_PASSES"
    done
    # Outputs do not change from run to run; checking the first is enough.
    if [ "$run" -eq 1 ]; then
      ensure_reference "$reference" "$RESULTS/baseline.txt"
      for tool in "${TOOLS[@]}"; do
        check_output "$tool" "$RESULTS/$tool.txt" "$([ "$tool" = lexset ] && echo "$reference.expected" || echo "$RESULTS/lexset.txt")"
      done
    fi
  done
  local distinct
  distinct=$(wc -l <"$reference.expected")

  local lexset_us us
  # shellcheck disable=SC2086
  lexset_us=$(median ${times[lexset]})
  LEXSET_US[$label $size]=$lexset_us
  for tool in "${TOOLS[@]}"; do
    # shellcheck disable=SC2086
    us=$(median ${times[$tool]})
    ROW_US[$label $size $tool]=$us ROW_KB[$label $size $tool]=${peak[$tool]}
    # shellcheck disable=SC2086
    ROWS+=("| $label | $(size_label "$size") | $distinct | $(tool_name "$tool") | $(timing_cells "$tool" "$us" "$bytes" "$lexset_us") | $(fixed "${peak[$tool]}" 1024 0) | $(faults_cell "$tool" "$(median ${minor[$tool]})" "$(median ${major[$tool]})") |")
  done
  remove_results "${TOOLS[@]}"
}

# The shapes run, by "LABEL SIZE", in order, for their table.
SHAPES=()

# shape_corpus PROFILE: the corpus's name for a shape profile with this
# run's --every, --lists or --stretch, as ensure_corpus knows it.
shape_corpus() {
  case $1 in
    outliers) echo "outliers$every" ;;
    dealt) echo "dealt$lists" ;;
    stretches) echo "stretches$stretch" ;;
  esac
}

# bench_shape PROFILE SIZE: a list almost in order (outliers, dealt or
# stretches, with this run's --every, --lists or --stretch) and the same
# words shuffled, whose result must be the same; both with --memory-limit
# if given, and lexset's --stats.
bench_shape() {
  local profile=$1 size=$2 name label corpus
  name=$(shape_corpus "$profile")
  case $profile in
    outliers) label="outliers, 1 in $every" ;;
    dealt) label="dealt, $lists lists" ;;
    stretches) label="stretches of $stretch" ;;
  esac
  ensure_corpus "$name" "$size"
  ensure_corpus "$name-shuffled" "$size"
  corpus=$(corpus_path "$name" "$size")
  ROW_LIMIT=$memory_limit ROW_STATS=1
  bench_sources "$label" "$size" "$corpus" "$corpus"
  bench_sources "$label, shuffled" "$size" "$corpus" "$(corpus_path "$name-shuffled" "$size")"
  ROW_LIMIT='' ROW_STATS=''
  SHAPES+=("$label $size")
}

# shape_rows: the shapes' table, each tool on each shape against the same
# tool on the same words shuffled.
shape_rows() {
  local shape label size tool key shuffled spill spill_shuffled limit_cell
  for shape in "${SHAPES[@]}"; do
    label=${shape% *} size=${shape##* }
    for tool in "${TOOLS[@]}"; do
      key="$shape $tool" shuffled="$label, shuffled $size $tool"
      spill=– spill_shuffled=–
      if [ -n "${ROW_SPILL[$key]:-}" ]; then
        spill=${ROW_SPILL[$key]/ /, } spill_shuffled=${ROW_SPILL[$shuffled]/ /, }
      fi
      limit_cell=
      [ -z "$memory_limit" ] || limit_cell=" $(signed $((ROW_KB[$key] * 1024 - memory_limit)) 1048576) |"
      echo "| $label | $(size_label "$size") | $(tool_name "$tool") | $(fixed "${ROW_US[$key]}" 1000000 3) | $(fixed "${ROW_US[$shuffled]}" 1000000 3) | $(fixed "${ROW_US[$key]}" "${ROW_US[$shuffled]}")× | $(fixed "${ROW_KB[$key]}" 1024 1) | $(fixed "${ROW_KB[$shuffled]}" 1024 1) | $(fixed "${ROW_KB[$key]}" "${ROW_KB[$shuffled]}")× |$limit_cell $spill | $spill_shuffled |"
    done
  done
}

# bench_appended SIZE: the appended corpus, and the same words as two
# sources: the sorted corpus and the new words.
bench_appended() {
  local size=$1 corpus
  ensure_corpus appended "$size"
  ensure_corpus sorted "$size"
  ensure_corpus unique "$APPENDED_NEW_SIZE"
  corpus=$(corpus_path appended "$size")
  bench_sources "appended, one file" "$size" "$corpus" "$corpus"
  bench_sources "appended, 2 sources" "$size" "$corpus" "$(corpus_path sorted "$size")" \
    "$(corpus_path unique "$APPENDED_NEW_SIZE")"
}

# bench_pieces SIZE: for each count of pieces, the pieces joined in one
# file, and the pieces as sources. They hold the sorted corpus's words,
# whose reference result serves them all.
bench_pieces() {
  local size=$1 sorted corpus k i
  ensure_corpus sorted "$size"
  sorted=$(corpus_path sorted "$size")
  for k in "${PIECES[@]}"; do
    ensure_corpus "pieces$k" "$size"
    corpus=$(corpus_path "pieces$k" "$size")
    local -a sources=()
    for ((i = 1; i <= k; i++)); do sources+=("$corpus.$i"); done
    bench_sources "pieces k=$k, one file" "$size" "$sorted" "$corpus"
    bench_sources "pieces k=$k, $k sources" "$size" "$sorted" "${sources[@]}"
  done
}

# bench_utf16 SIZE: the real corpus with a UTF-8 mark, and the same text in
# UTF-16 with its mark (made by iconv); lexset's runs on both interleaved
# (and with --win32, lexset-tidy.exe's). The UTF-8 result must be the
# baseline's result on the real corpus after the mark, the UTF-16 result,
# turned into UTF-8 by iconv, the UTF-8 result, and lexset-tidy.exe's
# results lexset's.
bench_utf16() {
  local size=$1 real utf8 utf16
  ensure_corpus real "$size"
  real=$(corpus_path real "$size")
  utf8=$(corpus_path real-utf8 "$size")
  utf16=$(corpus_path real-utf16 "$size")
  if [ ! -f "$utf8" ] || [ "$real" -nt "$utf8" ]; then
    { printf '\xef\xbb\xbf' && cat "$real"; } >"$utf8.tmp" && mv "$utf8.tmp" "$utf8"
  fi
  if [ ! -f "$utf16" ] || [ "$real" -nt "$utf16" ]; then
    { printf '\xff\xfe' && iconv -f UTF-8 -t UTF-16LE "$real"; } >"$utf16.tmp" || die "iconv cannot convert $real"
    mv "$utf16.tmp" "$utf16"
  fi
  ensure_reference "$real" ""
  local -a tools=(lexset ${win32:+win32})
  rm -f "$RESULTS"/{lexset,win32}-utf{8,16}.txt

  declare -A times=() peak=() minor=() major=() bytes=([utf8]=$(stat -c %s "$utf8") [utf16]=$(stat -c %s "$utf16"))
  local run encoding tool key
  for ((run = 1; run <= runs; run++)); do
    for tool in "${tools[@]}"; do
      for encoding in utf8 utf16; do
        note "utf16 $size: $tool on $encoding, run $run of $runs"
        key=$tool-$encoding
        run_tool "$tool" "$RESULTS/$key.txt" "" "$([ $encoding = utf8 ] && echo "$utf8" || echo "$utf16")"
        times[$key]+=" $ELAPSED_US"
        minor[$key]+=" $MINOR_FAULTS" major[$key]+=" $MAJOR_FAULTS"
        [ "${peak[$key]:-0}" -ge "$RSS_KB" ] || peak[$key]=$RSS_KB
      done
    done
    if [ "$run" -eq 1 ]; then
      { printf '\xef\xbb\xbf' && cat "$real.expected"; } >"$OUT/utf8.expected"
      check_output lexset "$RESULTS/lexset-utf8.txt" "$OUT/utf8.expected"
      iconv -f UTF-16LE -t UTF-8 "$RESULTS/lexset-utf16.txt" >"$OUT/utf16-as-utf8.txt" ||
        die "lexset's UTF-16 result is not UTF-16: $RESULTS/lexset-utf16.txt"
      check_output lexset "$OUT/utf16-as-utf8.txt" "$RESULTS/lexset-utf8.txt"
      rm -f "$OUT/utf8.expected" "$OUT/utf16-as-utf8.txt"
      if [ -n "$win32" ]; then
        check_output win32 "$RESULTS/win32-utf8.txt" "$RESULTS/lexset-utf8.txt"
        check_output win32 "$RESULTS/win32-utf16.txt" "$RESULTS/lexset-utf16.txt"
      fi
    fi
  done
  local distinct utf8_us us
  distinct=$(wc -l <"$real.expected")
  # shellcheck disable=SC2086
  utf8_us=$(median ${times[lexset-utf8]})
  for tool in "${tools[@]}"; do
    for encoding in utf8 utf16; do
      key=$tool-$encoding
      # shellcheck disable=SC2086
      us=$(median ${times[$key]})
      # shellcheck disable=SC2086
      ROWS+=("| utf16 | $(size_label "$size") | $distinct | $(tool_name "$tool"), $([ $encoding = utf8 ] && echo UTF-8 || echo UTF-16) | $(timing_cells "$tool" "$us" "${bytes[$encoding]}" "$utf8_us") | $(fixed "${peak[$key]}" 1024 0) | $(faults_cell "$tool" "$(median ${minor[$key]})" "$(median ${major[$key]})") |")
    done
  done
  rm -f "$RESULTS"/{lexset,win32}-utf{8,16}.txt
}

SPILL_ROWS=()
SPILL_NOTES=()

# signed VALUE SCALE: like fixed with one decimal, and a sign.
signed() {
  if [ "$1" -lt 0 ]; then
    echo "-$(fixed $((-$1)) "$2" 1)"
  else
    echo "+$(fixed "$1" "$2" 1)"
  fi
}

# bench_spill PROFILE SIZE: the larger-than-memory case on one corpus:
# lexset (with --win32, lexset-tidy.exe too) and sort with the same memory
# budget, all runs interleaved.
bench_spill() {
  local profile=$1 size=$2 corpus
  ensure_corpus "$profile" "$size"
  corpus=$(corpus_path "$profile" "$size")
  remove_results "${SPILL_TOOLS[@]}"
  ensure_sorted_reference "$corpus"
  local bytes distinct distinct_bytes limit
  bytes=$(stat -c %s "$corpus")
  distinct=$(wc -l <"$corpus.expected")
  distinct_bytes=$(stat -c %s "$corpus.expected")
  limit=${budget:-$((distinct_bytes / 10))}
  [ "$limit" -gt 0 ] || die "$corpus has too few words for a budget of a tenth of them"

  declare -A times=() peak=() temp=() minor=() major=() spill_runs=() spill_passes=() spill_written=()
  local run tool
  for ((run = 1; run <= runs; run++)); do
    for tool in "${SPILL_TOOLS[@]}"; do
      note "$profile $size, budget $limit bytes: $tool, run $run of $runs"
      run_tool "$tool" "$RESULTS/$tool.txt" "$limit" "$corpus"
      times[$tool]+=" $ELAPSED_US"
      minor[$tool]+=" $MINOR_FAULTS" major[$tool]+=" $MAJOR_FAULTS"
      [ "${peak[$tool]:-0}" -ge "$RSS_KB" ] || peak[$tool]=$RSS_KB
      [ "${temp[$tool]:--1}" -ge "$TEMP_BYTES" ] || temp[$tool]=$TEMP_BYTES
      if [ "$tool" != sort ]; then
        spill_runs[$tool]=$SPILL_RUNS spill_passes[$tool]=$SPILL_PASSES spill_written[$tool]=$SPILL_WRITTEN
      fi
    done
    if [ "$run" -eq 1 ]; then
      for tool in "${SPILL_TOOLS[@]}"; do
        check_output "$tool" "$RESULTS/$tool.txt" "$([ "$tool" = lexset ] && echo "$corpus.expected" || echo "$RESULTS/lexset.txt")"
      done
    fi
  done

  local lexset_us us runs_cell passes_cell written_cell temp_cell
  # shellcheck disable=SC2086
  lexset_us=$(median ${times[lexset]})
  for tool in "${SPILL_TOOLS[@]}"; do
    # shellcheck disable=SC2086
    us=$(median ${times[$tool]})
    runs_cell=– passes_cell=– written_cell=–
    if [ "$tool" != sort ]; then
      runs_cell=${spill_runs[$tool]} passes_cell=${spill_passes[$tool]}
      written_cell=$(fixed "${spill_written[$tool]}" 1048576 1)
    fi
    temp_cell=$(fixed "${temp[$tool]}" 1048576 1)
    if [ "$tool" = sort ] && [ "${temp[$tool]}" -eq 0 ]; then
      temp_cell='not seen'
      SPILL_NOTES+=("- $profile $(size_label "$size"): sort's temporary folder was not seen holding files; its runs were too short for measurements 0.2 s apart")
    fi
    # shellcheck disable=SC2086
    SPILL_ROWS+=("| $profile | $(size_label "$size") | $distinct | $(fixed "$distinct_bytes" 1048576 1) | $(fixed "$limit" 1048576 1) | $(tool_name "$tool") | $(timing_cells "$tool" "$us" "$bytes" "$lexset_us") | $(fixed "${peak[$tool]}" 1024 1) | $(signed $((peak[$tool] * 1024 - limit)) 1048576) | $(faults_cell "$tool" "$(median ${minor[$tool]})" "$(median ${major[$tool]})") | $temp_cell | $written_cell | $runs_cell | $passes_cell |")
  done
  if [ -f "$corpus.expected.sort" ]; then
    local reference_us reference_kb reference_temp
    read -r reference_us reference_kb reference_temp <"$corpus.expected.sort"
    SPILL_NOTES+=("- $profile $(size_label "$size"): the reference, sort with its own settings (no -S), took $(fixed "$reference_us" 1000000 3) s, peak RSS $(fixed "$reference_kb" 1024 1) MiB, peak temporary disk $([ "${reference_temp:-0}" -gt 0 ] && echo "$(fixed "$reference_temp" 1048576 1) MiB" || echo "not seen") (once, when the corpus was new; its temporary files were in the cache folder)")
  fi
  remove_results "${SPILL_TOOLS[@]}"
}

# The in-process time of one whole job on a 1 KiB list, without process
# start-up. The job flushes its result to disk before putting it in place,
# so the figure is given for the cache folder's disk and for a RAM disk,
# where flushing costs nothing.
jobtime() {
  ensure_corpus zipf 1K
  local corpus line
  corpus=$(corpus_path zipf 1K)
  line=$("$JOBTIME" "$corpus" "$OUT/jobtime-result.txt" "$jobtime_iterations") || die "lexset-jobtime failed"
  JOBTIME_DISK=$(describe_jobtime "$line")
  rm -f "$OUT/jobtime-result.txt"
  JOBTIME_RAM=
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    local result=/dev/shm/lexset-jobtime-$$.txt
    line=$("$JOBTIME" "$corpus" "$result" "$jobtime_iterations") || die "lexset-jobtime failed"
    JOBTIME_RAM=$(describe_jobtime "$line")
    rm -f "$result"
  fi
}

# "median_us=431.6 min_us=400.7 p90_us=485.0 iterations=200" in words.
describe_jobtime() {
  local median fastest p90 field
  for field in $1; do
    case $field in
      median_us=*) median=${field#*=} ;;
      min_us=*) fastest=${field#*=} ;;
      p90_us=*) p90=${field#*=} ;;
    esac
  done
  echo "median **$median µs** (fastest $fastest µs, 90th percentile $p90 µs)"
}

# ---------------------------------------------------------------- main --

[ -z "$win32" ] || wine_startup
for size in "${SIZES[@]}"; do
  for profile in "${PROFILES[@]}"; do
    if [ -n "$spill" ] && [ "$profile" = pieces ]; then
      for k in "${PIECES[@]}"; do bench_spill "pieces$k" "$size"; done
    elif [ -n "$spill" ] && [[ $profile =~ ^(outliers|dealt|stretches)$ ]]; then
      bench_spill "$(shape_corpus "$profile")" "$size"
    elif [ -n "$spill" ]; then
      bench_spill "$profile" "$size"
    elif [ "$profile" = utf16 ]; then
      bench_utf16 "$size"
    elif [ "$profile" = appended ]; then
      bench_appended "$size"
    elif [ "$profile" = pieces ]; then
      bench_pieces "$size"
    elif [[ $profile =~ ^(outliers|dealt|stretches)$ ]]; then
      bench_shape "$profile" "$size"
    else
      bench_one "$profile" "$size"
    fi
  done
done
if [ -z "$spill" ]; then
  jobtime
  # A smoke run also checks the larger-than-memory case, on a small corpus.
  if [ -n "$smoke" ] && [ ${#SPILL_TOOLS[@]} -gt 0 ]; then
    bench_spill spill "$SMOKE_SPILL_SIZE"
  fi
fi

echo "### lexset benchmark"
echo
echo "$(date -u +%Y-%m-%d), $(nproc) cores ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)), $(free -g | awk '/^Mem:/ {print $2}') GiB RAM;"
echo "runs: $runs (median shown), seed $seed, lexset: \`$TIDY\`${THREADS[0]:+ with --threads $threads}, sort: $(sort --version | head -n 1);"
[ -z "$before" ] || echo "before: \`$before\`, without --threads;"
echo "corpora read from \`$cache\` ($(stat -f -c %T "$cache")), results written to \`$RESULTS\` ($(stat -f -c %T "$RESULTS"))."
WINE_NOTE=
if [ -n "$win32" ]; then
  echo "win32: \`$TIDY_EXE\` under $(/usr/lib/wine/wine --version) (32-bit), by \`scripts/wine-run win32\`."
  WINE_NOTE="Wine start-up: $(fixed "$WINE_START_US" 1000000 3) s, $WINE_START_MINOR+$WINE_START_MAJOR page faults (median of $WINE_START_RUNS runs of lexset-tidy.exe on an empty list; peak RSS $(fixed "$WINE_START_RSS" 1024 1) MiB), taken off the win32 rows' times and page faults; in brackets, as measured (a time left no longer than the start-up is within its noise: marked ~). Their peak RSS is as measured, Wine's own included. One Wine server ran throughout; the first run, which started Wine's service programs, took $(fixed "$WINE_FIRST_US" 1000000 3) s and is not counted."
fi
if [ ${#ROWS[@]} -gt 0 ]; then
  echo
  echo "| Profile | Size | Distinct words | Tool | Median time (s) | MiB/s | Time vs lexset | Peak RSS (MiB) | Page faults (minor+major) |"
  echo "|---|---|--:|---|--:|--:|--:|--:|--:|"
  printf '%s\n' "${ROWS[@]}"
  if [ -n "$WINE_NOTE" ]; then
    echo
    echo "$WINE_NOTE"
  fi
  if [ ${#SHAPES[@]} -gt 0 ]; then
    echo
    echo "Lists almost in order against the same words shuffled, each tool on both$([ -z "$memory_limit" ] || echo ", lexset and sort with a memory limit of $memory_limit bytes")"
    echo "(ratios: on the shape / on the shuffled list; runs and merge passes from lexset-tidy --stats):"
    echo
    echo "| Profile | Size | Tool | Time (s) | Shuffled (s) | Time vs shuffled | Peak RSS (MiB) | Shuffled (MiB) | RSS vs shuffled |${memory_limit:+ RSS vs limit (MiB) |} Runs, merge passes | Shuffled: runs, passes |"
    echo "|---|---|---|--:|--:|--:|--:|--:|--:|${memory_limit:+--:|}--:|--:|"
    shape_rows
  fi
  if [[ " ${PROFILES[*]} " == *" appended "* ]]; then
    echo
    echo "lexset on the appended lists against the sorted list alone (the same sorted words, without the new ones), in this run:"
    echo
    echo "| Profile | Size | lexset (s) | lexset on sorted (s) | Time vs sorted |"
    echo "|---|---|--:|--:|--:|"
    for size in "${SIZES[@]}"; do
      for label in "appended, one file" "appended, 2 sources"; do
        echo "| $label | $(size_label "$size") | $(fixed "${LEXSET_US[$label $size]}" 1000000 3) | $(fixed "${LEXSET_US[sorted $size]}" 1000000 3) | $(fixed "${LEXSET_US[$label $size]}" "${LEXSET_US[sorted $size]}")× |"
      done
    done
  fi
  echo
  echo "Job time for a 1 KiB list (\`lexset-jobtime\`, in process, $jobtime_iterations jobs):"
  echo
  echo "- result on the cache folder's disk: $JOBTIME_DISK"
  [ -z "$JOBTIME_RAM" ] || echo "- result on a RAM disk (flushing to disk costs nothing): $JOBTIME_RAM"
fi
if [ ${#SPILL_ROWS[@]} -gt 0 ]; then
  echo
  echo "Larger than memory: each tool had the same memory budget, $([ -n "$budget" ] && echo "$budget bytes" || echo "a tenth of the bytes of the distinct words (the result's size)"),"
  echo "as \`lexset-tidy --memory-limit\` and as \`sort -S\` (its temporary files beside its result, as lexset's run files are)."
  echo "Temporary disk at the peak: lexset's run files (\`--stats\`), sort's folder measured with \`du -sb\` every 0.2 s."
  echo
  echo "| Profile | Size | Distinct words | Distinct MiB | Budget (MiB) | Tool | Median time (s) | MiB/s | Time vs lexset | Peak RSS (MiB) | RSS vs budget (MiB) | Page faults (minor+major) | Peak temp disk (MiB) | Run bytes written (MiB) | Runs written | Merge passes |"
  echo "|---|---|--:|--:|--:|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|"
  printf '%s\n' "${SPILL_ROWS[@]}"
  [ -z "$WINE_NOTE" ] || SPILL_NOTES+=("- $WINE_NOTE")
  if [ ${#SPILL_NOTES[@]} -gt 0 ]; then
    echo
    printf '%s\n' "${SPILL_NOTES[@]}"
  fi
fi
echo
if [ ${#SPILL_ROWS[@]} -eq 0 ]; then
  echo "Every result agreed byte for byte with lexset's, and lexset's with lexset-baseline's."
elif [ ${#ROWS[@]} -eq 0 ]; then
  echo "Every result agreed byte for byte with lexset's, and lexset's with the sort pipeline's with its own settings."
else
  echo "Every result agreed byte for byte with lexset's, and lexset's with lexset-baseline's (larger than memory: the sort pipeline's with its own settings)."
fi
[ -z "$made_results" ] || rmdir "$RESULTS" 2>/dev/null || true
