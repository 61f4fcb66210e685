#!/bin/bash
# usage: exe-check.sh OBJDUMP LEXSET_EXE LEXSET_TIDY_EXE
# The shipped programs as files: Windows programs (for 32-bit x86 also large
# address aware) that need no DLL Windows does not ship, each with its
# version block; lexset.exe a GUI program whose manifest asks for the common
# controls 6 and declares DPI awareness, lexset-tidy.exe a console program.
set -u
export LC_ALL=C  # objdump speaks Chinese under the tests' locale
objdump=$1
failed=0

# check EXE SUBSYSTEM: the headers, the imports and the version block.
check() {
  local exe=$1 subsystem=$2 headers format imports others
  fail() {
    echo "FAILED: $exe: $*"
    failed=1
  }
  headers=$("$objdump" -p "$exe") || { fail "objdump cannot read it"; return; }
  format=$(echo "$headers" | sed -n 's/.*file format //p')
  echo "$format" | grep -qx 'pei-i386\|pei-x86-64' || fail "file format $format"
  echo "$headers" | grep -q "^Subsystem.*(Windows $subsystem)" || fail "not a $subsystem program"
  [ "$format" != pei-i386 ] || echo "$headers" | grep -q 'large address aware' || fail "not large address aware"
  imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  others=$(echo "$imports" | grep -vx '\(kernel32\|user32\|gdi32\|shell32\|comctl32\|comdlg32\|advapi32\|msvcrt\)\.dll')
  [ -n "$imports" ] && [ -z "$others" ] || fail "imports DLLs Windows does not ship: $others"
  # The version block names the file, in UTF-16.
  local name
  name=$(basename "$exe" .exe | sed 's/./&\\x00/g')
  grep -qaP "O\\x00r\\x00i\\x00g\\x00i\\x00n\\x00a\\x00l\\x00F\\x00i\\x00l\\x00e\\x00n\\x00a\\x00m\\x00e\\x00\\x00\\x00${name}" "$exe" ||
    fail "no version block naming $(basename "$exe" .exe)"
  [ "$failed" -eq 0 ] && echo "$exe: $format, Windows $subsystem, imports $(echo $imports)"
}

check "$2" GUI
grep -q 'Microsoft.Windows.Common-Controls' "$2" || { echo "FAILED: $2: no manifest for the common controls"; failed=1; }
# Drawn at the display's scaling, not stretched as a bitmap (Wine draws every
# program so, whatever its manifest says).
grep -q '<dpiAware[^>]*>true</dpiAware>' "$2" || { echo "FAILED: $2: the manifest does not declare DPI awareness"; failed=1; }
check "$3" CUI
exit "$failed"
