#!/bin/bash
# usage: exe-check.sh OBJDUMP FORMAT VERSION LEXSET_EXE LEXSET_TIDY_EXE
# The shipped programs as files: Windows programs of FORMAT (pei-i386 for
# 32-bit x86, which must also be large address aware, or pei-x86-64) that
# need no DLL Windows does not ship, each with the version block the
# program's description gives, for VERSION (a.b.c.d), every string and
# number of it; lexset.exe a GUI program whose manifest asks for the common
# controls 6, declares DPI awareness and gives VERSION, lexset-tidy.exe a
# console program.
set -u
export LC_ALL=C  # objdump speaks Chinese under the tests' locale
objdump=$1 expected_format=$2 version=$3
failed=0

# The version block of a program, as lines of text: its numbers, then each
# string of each table in order, then the translations.
version_block() {
  perl -MEncode -e '
    binmode STDIN; local $/; my $d = <STDIN>;
    my $at = index($d, encode("UTF-16LE", "VS_VERSION_INFO\0"));
    die "no version block\n" if $at < 6;
    my $root = $at - 6;
    # Members start on 32-bit boundaries from the start of the block.
    sub align { my $o = shift; $o + (4 - ($o - $root) % 4) % 4 }
    # A UTF-16 text from $o up to its terminator or $end.
    sub text {
      my ($o, $end) = @_; my $s = "";
      for (; $o + 1 < $end; $o += 2) { my $c = substr($d, $o, 2); last if $c eq "\0\0"; $s .= $c }
      return encode("UTF-8", decode("UTF-16LE", $s));
    }
    # Visits a block: its key, its value and its children, by depth.
    sub block {
      my ($o, $depth) = @_;
      my ($length, $value_length, $type) = unpack("v3", substr($d, $o, 6));
      my $end = $o + $length;
      my $key = text($o + 6, $end);
      my $value = align($o + 6 + 2 * (length(decode("UTF-8", $key)) + 1));
      my $value_bytes = $type == 1 ? 2 * $value_length : $value_length;
      if ($depth == 0) {
        my @f = unpack("V13", substr($d, $value, 52));
        printf "FileVersion %d.%d.%d.%d\n", $f[2] >> 16, $f[2] & 0xffff, $f[3] >> 16, $f[3] & 0xffff;
        printf "ProductVersion %d.%d.%d.%d\n", $f[4] >> 16, $f[4] & 0xffff, $f[5] >> 16, $f[5] & 0xffff;
        printf "FileFlagsMask 0x%x\nFileFlags 0x%x\nFileOS 0x%x\nFileType 0x%x\nFileSubtype 0x%x\n", @f[6 .. 10];
      } elsif ($depth == 2 && $key ne "Translation") {
        print "StringTable $key\n";
      } elsif ($depth == 3) {
        print "$key=", text($value, $end), "\n";
      } elsif ($key eq "Translation") {
        print "Translation", map({ sprintf " 0x%04x", $_ } unpack("v*", substr($d, $value, $value_bytes))), "\n";
      }
      for (my $child = align($value + $value_bytes); $child < $end; ) {
        my $child_length = unpack("v", substr($d, $child, 2));
        last if $child_length == 0;
        block($child, $depth + 1);
        $child = align($child + $child_length);
      }
    }
    block($root, 0);
  ' <"$1"
}

# The block a program of that description, internal and file name must have.
expected_block() {
  local a b c d
  IFS=. read -r a b c d <<<"$version"
  cat <<END
FileVersion $version
ProductVersion $version
FileFlagsMask 0x3f
FileFlags 0x0
FileOS 0x4
FileType 0x1
FileSubtype 0x0
StringTable 080404b0
Comments=
CompanyName=QEMI
FileDescription=$1
FileVersion=$a, $b, $c, $d
InternalName=$2
LegalCopyright=版权所有 (C) 2026 QEMI
LegalTrademarks=
OriginalFilename=$3
PrivateBuild=
ProductName=lexset 应用程序
ProductVersion=$a, $b, $c, $d
SpecialBuild=
Translation 0x0804 0x04b0
END
}

# check EXE SUBSYSTEM DESCRIPTION INTERNAL_NAME ORIGINAL_FILENAME: the
# headers, the imports and the version block.
check() {
  local exe=$1 subsystem=$2 headers format imports others block
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
  block=$(version_block "$exe") || fail "its version block cannot be read"
  diff <(expected_block "$3" "$4" "$5") <(echo "$block") >/dev/null ||
    fail "its version block is not as described (< described, > the program's):
$(diff <(expected_block "$3" "$4" "$5") <(echo "$block"))"
  [ "$failed" -eq 0 ] && echo "$exe: $format, Windows $subsystem, imports $(echo $imports), version block of $version"
}

check "$4" GUI "lexset Microsoft 基础类应用程序" lexset lexset.EXE
grep -q 'Microsoft.Windows.Common-Controls' "$4" || { echo "FAILED: $4: no manifest for the common controls"; failed=1; }
# Drawn at the display's scaling, not stretched as a bitmap (Wine draws every
# program so, whatever its manifest says).
grep -q '<dpiAware[^>]*>true</dpiAware>' "$4" || { echo "FAILED: $4: the manifest does not declare DPI awareness"; failed=1; }
grep -q "<assemblyIdentity type=\"win32\" name=\"lexset\" version=\"$version\"" "$4" ||
  { echo "FAILED: $4: the manifest does not give the version $version"; failed=1; }
check "$5" CUI "lexset 命令行词表整理程序" lexset-tidy lexset-tidy.exe
exit "$failed"
