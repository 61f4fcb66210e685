#!/bin/sh
# usage: exe-check.sh OBJDUMP LEXSET_EXE
# lexset.exe as a file: a Windows GUI program (for 32-bit x86 also large
# address aware) that needs no DLL Windows does not ship, with the manifest
# that asks for the common controls 6 and declares DPI awareness.
set -u
export LC_ALL=C  # objdump speaks Chinese under the tests' locale
objdump=$1 exe=$2
failed=0
fail() {
  echo "FAILED: $exe: $*"
  failed=1
}
headers=$("$objdump" -p "$exe") || exit 1
format=$(echo "$headers" | sed -n 's/.*file format //p')
echo "$format" | grep -qx 'pei-i386\|pei-x86-64' || fail "file format $format"
echo "$headers" | grep -q '^Subsystem.*(Windows GUI)' || fail "not a GUI program"
[ "$format" != pei-i386 ] || echo "$headers" | grep -q 'large address aware' || fail "not large address aware"
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
others=$(echo "$imports" | grep -vx '\(kernel32\|user32\|gdi32\|shell32\|comctl32\|comdlg32\|advapi32\|msvcrt\)\.dll')
[ -n "$imports" ] && [ -z "$others" ] || fail "imports DLLs Windows does not ship: $others"
grep -q 'Microsoft.Windows.Common-Controls' "$exe" || fail "no manifest for the common controls"
# Drawn at the display's scaling, not stretched as a bitmap (Wine draws every
# program so, whatever its manifest says).
grep -q '<dpiAware[^>]*>true</dpiAware>' "$exe" || fail "the manifest does not declare DPI awareness"
[ "$failed" -eq 0 ] && echo "$exe: $format, Windows GUI, imports $(echo $imports)"
exit "$failed"
