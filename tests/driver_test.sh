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
row 1 '--memory-limit' r.txt none --memory-limit x a.txt r.txt
row 1 '--frobnicate' r.txt none --frobnicate a.txt r.txt
row 1 '标准输入' r.txt none - - r.txt
# Other problems: status 2, and the files as they were.
row 2 '无法打开待处理文件“missing.txt”' r.txt none a.txt missing.txt r.txt
row 2 '无法写入结果文件' no/r.txt none a.txt no/r.txt
row 2 '结果文件未作任何改动。' "$(printf '%0256d' 0)" none a.txt "$(printf '%0256d' 0)"
# A memory limit far below the distinct words sends them through run files.
i=0
many=''
while [ $i -lt 3000 ]; do many="$many w$((i * 7919 % 3001)) x$i"; i=$((i + 1)); done
STDIN=$many row 0 'runs=[1-9]' r.txt - --memory-limit 20000 --stats - r.txt

# Help and version go to the standard output.
"${tidy[@]}" --help >stdout 2>stderr || fail "--help failed"
iconv -f "$charset" -t UTF-8 stdout | grep -q -- '--memory-limit' || fail "--help says nothing of --memory-limit"
[ "$("${tidy[@]}" --version | tr -d '\r')" = "lexset-tidy $version" ] || fail "--version"

if [ -n "$native" ]; then
  # Standard output that cannot be written is reported like any other result.
  make_sources
  "${tidy[@]}" a.txt - >/dev/full 2>stderr
  [ $? -eq 2 ] && grep -q '无法写入结果文件“标准输出”' stderr || fail "a full standard output: $(cat stderr)"
  # Progress: a job that waits more than a second on its input shows a line
  # on a terminal, and clears it before the message; redirected, nothing.
  slow="(printf 'b '; sleep 1.5; printf 'a ') | ${tidy[*]} - r.txt"
  shown=$(script -qec "$slow" /dev/null)
  case $shown in *已读取*$'\r'*' '$'\r'处理完毕。*) ;; *) fail "no progress line, cleared, on a terminal: $shown" ;; esac
  bash -c "$slow" 2>stderr
  [ "$(cat stderr)" = '处理完毕。' ] || fail "progress shown though redirected: $(cat stderr)"
fi

[ "$failed" -eq 0 ] && echo "driver contract holds"
exit "$failed"
