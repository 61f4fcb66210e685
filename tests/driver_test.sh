#!/bin/sh
# The command-line driver's contract, relied on by benchmarks and outside
# checks: exit status 0 completed, 1 empty path, 2 any other problem, and
# the window's message in UTF-8 on standard error.
set -u
tidy=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0

expect() {  # expect STATUS MESSAGE-FRAGMENT ARGS...
  want=$1 text=$2
  shift 2
  "$tidy" "$@" 2>"$dir/stderr" >"$dir/stdout"
  got=$?
  if [ "$got" -ne "$want" ] || ! grep -q -- "$text" "$dir/stderr" || [ -s "$dir/stdout" ]; then
    echo "FAILED: lexset-tidy $* gave $got and: $(cat "$dir/stderr")"
    failed=1
  fi
}

printf 'b a b\r\nA' >"$dir/source.txt"
expect 0 '处理完毕。' "$dir/source.txt" "$dir/result.txt"
printf 'A\r\na\r\nb\r\n' | cmp -s - "$dir/result.txt" || { echo "FAILED: wrong result bytes"; failed=1; }

expect 1 '待处理文件或者结果文件名不能为空。' "" "$dir/result.txt"
expect 1 '请选择或者输入待处理文件或者结果文件。' "$dir/source.txt" ""
expect 2 '无法打开待处理文件' "$dir/missing.txt" "$dir/result.txt"
expect 2 '无法写入结果文件' "$dir/source.txt" "$dir/no/result.txt"
# A name longer than the system takes: reported, and nothing made.
expect 2 '结果文件未作任何改动。' "$dir/source.txt" "$dir/$(printf '%0256d' 0)"
[ "$(ls -A "$dir")" = "$(printf 'result.txt\nsource.txt\nstderr\nstdout')" ] || { echo "FAILED: files made"; failed=1; }
expect 2 'usage' "$dir/source.txt"
expect 2 'usage' --memory-limit x "$dir/source.txt" "$dir/result.txt"

# A memory limit far below the distinct words sends them through run files.
i=0
while [ $i -lt 3000 ]; do echo "w$((i * 7919 % 3001)) x$i"; i=$((i + 1)); done >"$dir/many.txt"
expect 0 'runs=[1-9]' --memory-limit 20000 --stats "$dir/many.txt" "$dir/spilled.txt"
expect 0 'runs=0 ' --stats "$dir/many.txt" "$dir/in-memory.txt"
cmp -s "$dir/spilled.txt" "$dir/in-memory.txt" || { echo "FAILED: spilled result differs"; failed=1; }

[ "$failed" -eq 0 ] && echo "driver contract holds"
exit "$failed"
