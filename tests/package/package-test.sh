#!/bin/bash
# usage: package-test.sh [--files-only | --screenshots] win32|win64
# The packages of a Windows build, build/packages/lexset-VERSION-ARCH.zip and
# lexset-VERSION-ARCH-setup.exe, checked as files and then tried as users
# would, under that build's Wine in a fresh prefix of its own:
# - the zip unpacked to a folder whose path has Chinese characters and
#   spaces, and both programs run from there;
# - the installer run silently to its default folder: the files, the
#   Start-menu shortcut, the entry in Programs and Features, the installed
#   programs (one GUI test), PATH untouched; then again with /ADDTOPATH to
#   another folder, and lexset-tidy run through PATH; each time the
#   uninstaller run silently, after which, the system restarted, nothing of
#   ours may be left: no file, folder, shortcut, registry key or PATH entry.
# --files-only stops before Wine, for a build whose programs cannot run
# here; --screenshots, instead of the tests under Wine, saves the installer's
# first page and the start menu with the installed program to
# build/lexset-setup.png and build/lexset-start-menu.png.
set -u
cd "$(dirname "$0")/../.."
mode=
case $1 in --files-only | --screenshots) mode=$1 && shift ;; esac
arch=$1
build=$PWD/build/$arch
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache CMAKE_PROJECT_VERSION)
objdump=$(cache CMAKE_OBJDUMP)
format=$([ "$arch" = win32 ] && echo pei-i386 || echo pei-x86-64)
zip=$PWD/build/packages/lexset-$version-$arch.zip
setup=$PWD/build/packages/lexset-$version-$arch-setup.exe
top=lexset-$version-$arch
shipped="LICENSE.txt lexset-tidy.exe lexset.exe 说明.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}

# Lines (or words) in byte order, on one line.
in_order() { tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' '; }

# The names of a zip's entries marked as UTF-8 (bit 11 of their flags),
# from its central directory; Windows reads other names in the OEM code page.
utf8_names() {
  local at flags length
  for at in $(LC_ALL=C grep -obUaP 'PK\x01\x02' "$1" | cut -d: -f1); do
    flags=$(od -An -tu2 -j $((at + 8)) -N2 "$1")
    length=$(od -An -tu2 -j $((at + 28)) -N2 "$1")
    ((flags & 0x800)) && tail -c +$((at + 47)) "$1" | head -c "$length" && echo
  done
}

# The files, as a user gets them.
echo "$zip, $(stat -c %s "$zip") bytes; $setup, $(stat -c %s "$setup") bytes"
listed=$(cmake -E tar tf "$zip" | in_order)
[ "$listed" = "$(for name in $shipped; do echo "$top/$name"; done | in_order)" ] || fail "the zip holds $listed"
utf8_names "$zip" | grep -qx "$top/说明.txt" || fail "the zip does not mark the guide's name as UTF-8"
(cd "$work" && cmake -E tar xf "$zip") || fail "the zip cannot be unpacked"
unpacked=$work/$top
bash tests/gui/exe-check.sh "$objdump" "$format" "$version" "$unpacked/lexset.exe" "$unpacked/lexset-tidy.exe" ||
  failed=1
LC_ALL=C "$objdump" -f "$setup" | grep -q "file format $format" || fail "the installer is not $format"
# The texts open in Notepad: Windows line ends only, the guide UTF-8 with a
# byte-order mark and the version on its first line.
for text in 说明.txt LICENSE.txt; do
  [ "$(grep -c $'\r$' "$unpacked/$text")" = "$(wc -l <"$unpacked/$text")" ] && [ -z "$(tail -c 1 "$unpacked/$text")" ] ||
    fail "$text has lines not ended by CR LF"
done
[ "$(head -c 3 "$unpacked/说明.txt" | od -An -tx1)" = " ef bb bf" ] || fail "说明.txt does not start with a UTF-8 mark"
iconv -f UTF-8 -t UTF-8 "$unpacked/说明.txt" >/dev/null || fail "说明.txt is not UTF-8"
head -1 "$unpacked/说明.txt" | grep -q "lexset $version " || fail "说明.txt does not name version $version"
if [ "$mode" = --files-only ]; then
  [ "$failed" -eq 0 ] && echo "the $arch packages hold, as files"
  exit "$failed"
fi

# A fresh prefix, a virtual display, and the Wine server ended at the end.
. scripts/wine-env.sh
lexset_wine "$arch" install
"$WINESERVER" -k 2>/dev/null
rm -rf "$WINEPREFIX"
lexset_wine_prefix || exit 1
lexset_start_xvfb
trap 'lexset_stop_wine; rm -rf "$work"' EXIT
drive_c=$WINEPREFIX/drive_c

# Runs a Windows program, then waits for every process to end (installers
# return before their work is done) and the registry to be on disk.
win() {
  timeout 300 "$WINELOADER" "$@"
  local status=$?
  timeout 300 "$WINESERVER" -w
  return $status
}

# The Unix path of a path on drive C.
unix_path() {
  local path=${1#C:\\}
  echo "$drive_c/${path//\\//}"
}

# The GUI test that starts the program and runs jobs, against lexset.exe at
# the Windows path given.
gui_test() {
  win "$build/tests/gui/lexset-gui-test.exe" "$1" --gtest_filter=StartTest.EnterInEitherBoxRunsTheJob >"$work/gui.log" 2>&1 ||
    fail "the GUI test against $1: $(cat "$work/gui.log")"
}

# tidy_test FOLDER COMMAND...: lexset-tidy, as COMMAND runs it in FOLDER (a
# Unix path), gives its version and tidies a list there.
tidy_test() {
  local folder=$1
  shift
  [ "$(cd "$folder" && win "$@" --version | tr -d '\r')" = "lexset-tidy $version" ] || fail "$* --version"
  printf 'b a b\r\nA \xd6\xd0\xce\xc4 a' >"$folder/词表.txt"
  (cd "$folder" && win "$@" --quiet 词表.txt 结果.txt) || fail "$* 词表.txt 结果.txt ended with status $?"
  [ "$(od -An -c "$folder/结果.txt")" = "$(printf 'A\r\na\r\nb\r\n\xd6\xd0\xce\xc4\r\n' | od -An -c)" ] ||
    fail "$* left in 结果.txt: $(od -c "$folder/结果.txt")"
  rm -f "$folder/词表.txt" "$folder/结果.txt"
}

# Screenshots for the release notes instead of the tests: the installer's
# first page, and the start menu with the installed program. Wine's desktop
# shows a taskbar and start menu only when asked to.
if [ "$mode" = --screenshots ]; then
  # To a file: Wine's service programs, when the driver starts them, hold a
  # pipe open until the server ends.
  present() {
    timeout 600 "$WINELOADER" "$build/tests/gui/lexset-gui-test.exe" --present "$1" >"$work/place" &&
      tr -d '\r' <"$work/place"
  }
  win reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f >/dev/null
  timeout 300 "$WINELOADER" "$setup" &
  import -window root -crop "$(present "lexset $version 安装")" +repage build/lexset-setup.png
  "$WINESERVER" -k
  wait $!
  win "$setup" /S
  import -window root -crop "$(present start-menu)" +repage build/lexset-start-menu.png
  echo "saved build/lexset-setup.png and build/lexset-start-menu.png"
  exit 0
fi

# The zip, unpacked where the path has Chinese characters and spaces.
portable='C:\便携 软件\lexset 工具'
mkdir -p "$(unix_path "$portable")"
cp -r "$unpacked" "$(unix_path "$portable")/"
tidy_test "$(unix_path "$portable")/$top" ./lexset-tidy.exe
gui_test "$portable\\$top\\lexset.exe"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\lexset'
system_path() {
  win reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PATH |
    iconv -f GBK -t UTF-8 | sed -n 's/^ *PATH *REG_EXPAND_SZ *//p' | tr -d '\r'
}
# Every file and folder on drive C but the GUI tests' own, and every
# registry key.
snapshot() {
  find "$drive_c" -path "$drive_c/lexset-test" -prune -o -print | LC_ALL=C sort >"$work/$1.files"
  grep -h '^\[' "$WINEPREFIX"/*.reg | sed 's/\] [0-9]*$/]/' | LC_ALL=C sort -u >"$work/$1.keys"
}

# installer_test FOLDER [OPTIONS]: installs silently with OPTIONS, which put it in
# FOLDER, as an administrator would type it (/D= takes the rest of the line,
# spaces and all), and checks what users find; uninstalls, and checks that
# nothing is left.
installer_test() {
  local folder=$1 options=${2:-} path_before
  local installed shortcut
  installed=$(unix_path "$folder")
  shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/lexset.lnk"
  path_before=$(system_path)
  snapshot before
  win cmd /c "Z:${setup//\//\\} /S $options" || fail "the installer ended with status $?"

  [ "$(ls "$installed" | in_order)" = "$(echo "$shipped uninstall.exe" | in_order)" ] ||
    fail "$folder holds $(ls "$installed")"
  for name in $shipped; do
    cmp -s "$unpacked/$name" "$installed/$name" || fail "the installed $name is not the zip's"
  done
  # The shortcut's target, in the ANSI code page as the system reads it.
  grep -qaF "$(printf '%s' "$folder\\lexset.exe" | iconv -t GBK)" "$shortcut" 2>/dev/null ||
    fail "no Start-menu shortcut to $folder\\lexset.exe"
  local entry
  entry=$(win reg query "$uninstall_key" | iconv -f GBK -t UTF-8 | tr -d '\r' | sed -n 's/^ *\([A-Za-z]*\) *REG_SZ *\(.*\)/\1=\2/p')
  for value in DisplayName=lexset DisplayVersion="$version" Publisher=QEMI DisplayIcon="$folder\\lexset.exe,0" \
    UninstallString="\"$folder\\uninstall.exe\"" QuietUninstallString="\"$folder\\uninstall.exe\" /S"; do
    grep -qxF "$value" <<<"$entry" || fail "the uninstall entry has no $value: $entry"
  done
  case " $options " in
    *" /ADDTOPATH "*)
      [ "$(system_path)" = "$path_before;$folder" ] || fail "PATH is $(system_path)"
      tidy_test "$drive_c" cmd /c lexset-tidy
      ;;
    *)
      [ "$(system_path)" = "$path_before" ] || fail "PATH changed to $(system_path)"
      tidy_test "$drive_c" "$folder\\lexset-tidy.exe"
      gui_test "$folder\\lexset.exe"
      ;;
  esac
  win "$installed/uninstall.exe" /S || fail "the uninstaller ended with status $?"
  # The uninstaller's copy of itself goes at the next restart.
  win wineboot -r
  snapshot after
  local left
  left=$(LC_ALL=C comm -13 "$work/before.files" "$work/after.files"; LC_ALL=C comm -13 "$work/before.keys" "$work/after.keys")
  [ -z "$left" ] || fail "the uninstaller left: $left"
  [ "$(system_path)" = "$path_before" ] || fail "PATH after uninstalling: $(system_path)"
}

installer_test 'C:\Program Files\lexset'
installer_test 'C:\其他 程序\lexset' '/ADDTOPATH /D=C:\其他 程序\lexset'
[ "$failed" -eq 0 ] && echo "the $arch packages hold"
exit "$failed"
