#!/bin/bash
# usage: exe-check.sh OBJDUMP FORMAT VERSION LEXSET_EXE LEXSET_TIDY_EXE
# The shipped programs as files: Windows programs of FORMAT (pei-i386 for
# 32-bit x86, which must also be large address aware, or pei-x86-64) that
# need no DLL Windows does not ship, each with a version block naming it
# and giving VERSION (a.b.c.d); lexset.exe a GUI program whose manifest asks
# for the common controls 6 and declares DPI awareness, lexset-tidy.exe a
# console program.
set -u
export LC_ALL=C  # objdump speaks Chinese under the tests' locale
objdump=$1 expected_format=$2 version=$3
failed=0

# A text as the version block holds it (UTF-16), as a pattern for grep -P.
utf16() { printf '%s' "$1" | sed 's/./&\\x00/g; s/\.\\x00/\\.\\x00/g'; }

# The version's four numbers as the block's fixed part holds them: two
# 32-bit words, major << 16 | minor and patch << 16 | tweak, each twice
# (file and product).
fixed_version() {
  local a b c d words
  IFS=. read -r a b c d <<<"$version"
  words=$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((b & 255)) $((b >> 8)) $((a & 255)) $((a >> 8)) \
    $((d & 255)) $((d >> 8)) $((c & 255)) $((c >> 8)))
  printf '\\xbd\\x04\\xef\\xfe\\x00\\x00\\x01\\x00%s%s' "$words" "$words"
}

# check EXE SUBSYSTEM: the headers, the imports and the version block.
check() {
  local exe=$1 subsystem=$2 headers format imports others
  fail() {
    echo "FAILED: $exe: $*"
    failed=1
  }
  headers=$("$objdump" -p "$exe") || { fail "objdump cannot read it"; return; }
  format=$(echo "$headers" | sed -n 's/.*file format //p')
  [ "$format" = "$expected_format" ] || fail "file format $format, not $expected_format"
  echo "$headers" | grep -q "^Subsystem.*(Windows $subsystem)" || fail "not a $subsystem program"
  [ "$format" != pei-i386 ] || echo "$headers" | grep -q 'large address aware' || fail "not large address aware"
  imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  others=$(echo "$imports" | grep -vx '\(kernel32\|user32\|gdi32\|shell32\|comctl32\|comdlg32\|advapi32\|msvcrt\)\.dll')
  [ -n "$imports" ] && [ -z "$others" ] || fail "imports DLLs Windows does not ship: $others"
  # The version block names the file and gives the version, as text (a key,
  # its end and padding, the value) and as numbers.
  local key
  for key in "OriginalFilename:$(basename "$exe")" "FileVersion:$version" "ProductVersion:$version"; do
    grep -qaiP "$(utf16 "${key%%:*}")(\\x00\\x00){1,2}$(utf16 "${key#*:}")\\x00\\x00" "$exe" ||
      fail "its version block does not give ${key%%:*} ${key#*:}"
  done
  grep -qaP "$(fixed_version)" "$exe" || fail "its version block's numbers are not $version"
  [ "$failed" -eq 0 ] && echo "$exe: $format, Windows $subsystem, imports $(echo $imports), version $version"
}

check "$4" GUI
grep -q 'Microsoft.Windows.Common-Controls' "$4" || { echo "FAILED: $4: no manifest for the common controls"; failed=1; }
# Drawn at the display's scaling, not stretched as a bitmap (Wine draws every
# program so, whatever its manifest says).
grep -q '<dpiAware[^>]*>true</dpiAware>' "$4" || { echo "FAILED: $4: the manifest does not declare DPI awareness"; failed=1; }
check "$5" CUI
exit "$failed"
