#!/bin/bash
# The command-line program's contract, row by row: exit status (0
# completed, 1 an empty path or a usage error, 2 any other problem), the
# message on standard error, the result's bytes, and the files left. Runs
# the native program, or a Windows one through Wine:
#
#   driver_test.sh VERSION [--messages CHARSET] COMMAND...
#
# VERSION is the one --version must show; CHARSET is the encoding the
# messages must come in (UTF-8 natively; the console's code page, GBK, for
# a Windows build in a Chinese locale).
set -u
version=$1
shift
charset=UTF-8
if [ "${1:-}" = --messages ]; then
  charset=$2
  shift 2
fi
tidy=("$@")
native=
[[ ${tidy[0]} == *.exe || ${tidy[*]} == *wine* ]] || native=1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 2
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}

# Sources, made afresh for every row.
make_sources() {
  rm -rf ./*
  printf 'b a b\r\nA' >a.txt
  printf 'c a\n' >b.txt
  : >empty.txt
  printf '\xff\xfea\x00 \x00b\x00' >le.txt
  printf '\xff\xfec\x00\r\x00\n\x00a\x00' >le2.txt
  printf '\xef\xbb\xbfz a' >marked.txt
  printf 'old\r\n' >old.txt
}

# row STATUS MESSAGE RESULT EXPECTED ARGS...: runs the program in a fresh
# folder with ARGS (standard input from the file "stdin" when it exists),
# and checks its exit status, that its standard error holds MESSAGE, and
# that RESULT (a file, or "stdout" for the standard output) holds EXPECTED
# (printf escapes; "none" for no such file, "-" for anything).
row() {
  local want=$1 message=$2 result=$3 expected=$4
  shift 4
  make_sources
  [ -z "${STDIN+x}" ] || printf "$STDIN" >stdin
  local got
  if [ -f stdin ]; then
    "${tidy[@]}" "$@" <stdin >stdout 2>stderr
  else
    "${tidy[@]}" "$@" </dev/null >stdout 2>stderr
  fi
  got=$?
  local text
  text=$(iconv -f "$charset" -t UTF-8 stderr 2>/dev/null) || text="(not $charset) $(cat stderr)"
  [ "$got" -eq "$want" ] || fail "lexset-tidy $* gave status $got, not $want: $text"
  case $text in *$message*) ;; *) fail "lexset-tidy $*: no \"$message\" in: $text" ;; esac
  case $expected in
    -) ;;
    none) [ ! -e "$result" ] || fail "lexset-tidy $*: $result should not exist" ;;
    *) printf "$expected" | cmp -s - "$result" || fail "lexset-tidy $*: $result holds $(od -c "$result" | head -3)" ;;
  esac
  [ "$result" = stdout ] || [ ! -s stdout ] || fail "lexset-tidy $*: wrote to the standard output"
  ls -A | grep -q '^\.~lexset-' && fail "lexset-tidy $*: left a temporary file"
}

# One source, several, repeats across them, an empty one.
row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\n' a.txt r.txt
row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\nc\r\n' a.txt b.txt r.txt
row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\n' empty.txt a.txt empty.txt r.txt
row 0 '处理完毕。' r.txt '' empty.txt empty.txt r.txt
# The result among the sources, and replacing an older result.
row 0 '处理完毕。' a.txt 'A\r\na\r\nb\r\nc\r\n' a.txt b.txt a.txt
row 0 '处理完毕。' old.txt 'A\r\na\r\nb\r\n' a.txt old.txt
# Marks and encodings: sources must agree, but an empty one has none.
row 0 '处理完毕。' r.txt '\xff\xfea\x00\r\x00\n\x00b\x00\r\x00\n\x00c\x00\r\x00\n\x00' le.txt le2.txt empty.txt r.txt
row 0 '处理完毕。' r.txt '\xef\xbb\xbfa\r\nz\r\n' marked.txt r.txt
row 2 '编码' r.txt none a.txt le.txt r.txt
row 2 '无字节顺序标记' old.txt 'old\r\n' marked.txt a.txt old.txt
row 2 'UTF-16 LE' r.txt none le.txt marked.txt r.txt
# Standard input and output.
STDIN='d b\r\nd' row 0 '处理完毕。' r.txt 'b\r\nd\r\n' - r.txt
STDIN='d b\r\nd' row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\nd\r\n' a.txt - r.txt
row 0 '处理完毕。' stdout 'A\r\na\r\nb\r\nc\r\n' a.txt b.txt -
STDIN='\xff\xfex\x00' row 0 '处理完毕。' stdout '\xff\xfex\x00\r\x00\n\x00' - -
STDIN='' row 0 '处理完毕。' stdout '' - -
# --quiet keeps quiet about success only.
row 0 '' r.txt 'A\r\na\r\nb\r\n' --quiet a.txt r.txt
row 2 '无法打开待处理文件' r.txt none --quiet missing.txt r.txt
# Empty paths and usage errors: status 1, and the usage.
row 1 '待处理文件或者结果文件名不能为空。' r.txt none "" r.txt
row 1 '请选择或者输入待处理文件或者结果文件。' a.txt 'b a b\r\nA' a.txt ""
row 1 '用法：lexset-tidy' r.txt none
row 1 '缺少结果文件' a.txt 'b a b\r\nA' a.txt
# --memory-limit takes a count of bytes and nothing else.
for limit in x ' -1' -1 +5 0 '' 1e6 0x10; do
  row 1 "--memory-limit 的字节数不对：“$limit”" r.txt none --memory-limit "$limit" a.txt r.txt
done
for limit in 99999999999999999999 18446744073709551616; do
  row 1 "--memory-limit 的字节数太大：“$limit”" r.txt none --memory-limit "$limit" a.txt r.txt
done
# The largest count the program holds is taken and one more is not: 4 GiB
# less a byte in a 32-bit program, where that means no limit. It comes from
# the program's message (the first: wine-run tries a quick failure twice);
# 2^32 - 1 and 2^64 - 1 both end in 5.
make_sources
"${tidy[@]}" --memory-limit 99999999999999999999 a.txt r.txt </dev/null 2>stderr
largest=$(iconv -f "$charset" -t UTF-8 stderr | sed -n 's/.*最多为 \([0-9]*\).*/\1/p' | head -n 1)
if [[ $largest == *5 ]]; then
  row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\n' --memory-limit "$largest" a.txt r.txt
  row 1 "--memory-limit 的字节数太大：“${largest%5}6”" r.txt none --memory-limit "${largest%5}6" a.txt r.txt
else
  fail "--memory-limit too large names no largest count: $(cat stderr)"
fi
# --threads takes 1 to 256; the result is the same whatever the count.
for threads in x 0 -2 ''; do
  row 1 "--threads 的线程数不对：“$threads”" r.txt none --threads "$threads" a.txt r.txt
done
row 1 '--threads 的线程数太大：“257”，最多为 256' r.txt none --threads 257 a.txt r.txt
row 1 '--threads 后面缺少线程数' r.txt none a.txt r.txt --threads
for threads in 1 3 256; do
  row 0 '处理完毕。' r.txt 'A\r\na\r\nb\r\n' --threads "$threads" a.txt r.txt
done
row 1 '--frobnicate' r.txt none --frobnicate a.txt r.txt
row 1 '标准输入' r.txt none - - r.txt
# Other problems: status 2, and the files as they were.
row 2 '无法打开待处理文件“missing.txt”' r.txt none a.txt missing.txt r.txt
row 2 '无法写入结果文件' no/r.txt none a.txt no/r.txt
row 2 '未输出任何结果。' stdout '' missing.txt -
row 2 '未创建结果文件。' "$(printf '%0256d' 0)" none a.txt "$(printf '%0256d' 0)"
# A memory limit far below the distinct words sends them through run files.
i=0
many=''
while [ $i -lt 3000 ]; do many="$many w$((i * 7919 % 3001)) x$i"; i=$((i + 1)); done
STDIN=$many row 0 'runs=[1-9]' r.txt - --memory-limit 20000 --stats - r.txt
one_thread=$(od -An -c r.txt)
STDIN=$many row 0 'runs=[1-9]' r.txt - --memory-limit 20000 --stats --threads 3 - r.txt
[ "$(od -An -c r.txt)" = "$one_thread" ] || fail "--threads 3 gave another result than one thread"

# Help and version go to the standard output; "/?" and "-h" ask for help
# as "--help" does.
for help in --help -h /?; do
  "${tidy[@]}" "$help" >stdout 2>stderr || fail "$help failed"
  iconv -f "$charset" -t UTF-8 stdout | grep -q -- '--memory-limit' || fail "$help says nothing of --memory-limit"
done
[ "$("${tidy[@]}" --version | tr -d '\r')" = "lexset-tidy $version" ] || fail "--version"

# A standard output whose reader has gone: the result is incomplete.
make_sources
mkfifo pipe
exec 5<>pipe 6>pipe 5<&- # a pipe with no reader left
"${tidy[@]}" a.txt - >&6 2>stderr
status=$?
exec 6>&-
text=$(iconv -f "$charset" -t UTF-8 stderr)
[ "$status" -eq 2 ] && [[ $text == *'无法写入结果文件“标准输出”'*'输出的结果不完整。'* ]] ||
  fail "a closed pipe as the standard output gave status $status: $text"

if [ -n "$native" ]; then
  # Standard output that cannot be written is reported like any other result.
  make_sources
  "${tidy[@]}" a.txt - >/dev/full 2>stderr
  [ $? -eq 2 ] && grep -q '无法写入结果文件“标准输出”' stderr || fail "a full standard output: $(cat stderr)"
fi

# Progress on a terminal (under script): a job that has run for a second,
# waiting on its input after the first 70 KB of it (more than a pipe
# holds), shows a line with each step in the order it comes, every merge
# pass with its count (while reading, those that keep few run files open;
# the first come before the line shows), and clears it before the message.
# Not when the result goes to the same terminal, nor redirected. A Windows
# console writes it in UTF-8, with some cursor escapes.
make_sources
awk 'BEGIN { for (i = 0; i < 15000; i++) printf "w%d ", i * 7919 % 15013 }' >words.txt
slow="(head -c 70000 words.txt; sleep 1.5; tail -c +70001 words.txt) | ${tidy[*]} --memory-limit 4096 --stats -"
raw=$(script -qec "$slow r.txt" /dev/null | sed 's/\x1b\[[0-9;?]*[A-JL-Za-z]//g')
steps=$(echo "$raw" | sed 's/\x1b\[K//g' | tr '\r' '\n' | sed 's/ *$//' | awk '
  /^$/ || /^runs=/ { next }
  { step = "?" }
  /^已读取 / { step = "R" }
  /^内存已满，正在写出第 [0-9]+ 个临时文件……$/ { step = "S" }
  /^正在排序内存中的字符串……$/ { step = "T" }
  /^正在合并 [1-9][0-9]* 个临时文件（第 [0-9]+ 遍）……$/ { step = $0; sub(/.*第 /, "M", step); sub(/ 遍.*/, "", step) }
  /^正在合并 [1-9][0-9]* 个临时文件，写出结果……$/ { step = "W" }
  /^处理完毕。$/ { step = "D" }
  step != last { printf "%s ", step; last = step }')
passes=$(echo "$raw" | sed -n 's/^runs=.* merge_passes=\([0-9]*\) .*/\1/p')
seen=$(echo "$steps" | grep -o 'M[0-9]*' | tr -d M | tr '\n' ' ')
first=${seen%% *}
[[ ${passes:-0} -ge 2 && $steps =~ ^R\ ((S|M[0-9]+)\ )*(R\ ((S|M[0-9]+)\ )*)*T\ (M[0-9]+\ )*W\ D\ $ &&
  "$seen" == "$(seq -f '%g ' "${first:-1}" "${passes:-0}" | tr -d '\n')" ]] ||
  fail "progress on a terminal: $steps (merge passes: $passes)"
[[ $raw =~ (\ +$'\r'|$'\e'\[K)处理完毕。 ]] || fail "the progress line was not cleared: $raw"
shown=$(script -qec "${slow/--stats/} -" /dev/null)
[[ $shown != *已读取* && $shown == *w7919*处理完毕。* ]] || fail "progress among the result's lines: $shown"
# The result itself on a terminal reads right: on a Windows console as text.
printf '\xef\xbb\xbf\xe4\xb8\xad\xe6\x96\x87 b' >chinese.txt
shown=$(script -qec "${tidy[*]} chinese.txt -" /dev/null)
[[ $shown == *b*中文*处理完毕。* ]] || fail "a result on the terminal: $shown"
bash -c "$slow r.txt" 2>stderr
[[ $(iconv -f "$charset" -t UTF-8 stderr) != *已读取* ]] || fail "progress shown though redirected: $(cat stderr)"

[ "$failed" -eq 0 ] && echo "driver contract holds"
exit "$failed"
