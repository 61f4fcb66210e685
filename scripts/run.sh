#!/bin/bash
# usage: run.sh [--dpi 96|120|144|192] [--code-page 936|1252]
# Builds lexset and opens its window under Wine: the 32-bit product, or,
# where the kernel cannot run 32-bit programs, the 64-bit build of the same
# sources (and it says so); at the display scaling given (dots per inch), on
# a system of the ANSI code page given (1252: an English Windows). With a
# display the window stays until you close it; without one, a virtual
# display is started and screenshots of the window, of its About box and of
# the messages that refuse a missing source, a result that is a folder and
# a read-only result are saved to build/lexset.png, build/lexset-about.png,
# build/lexset-message.png, build/lexset-folder.png and
# build/lexset-read-only.png (named with -192dpi, -cp1252 for other
# settings).
# On a fresh Debian 12 machine, run it as root: it installs what is missing.
set -eEuo pipefail
# A step that fails says so: set -e alone stops without a word.
trap 'echo "run.sh: line $LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
cd "$(dirname "$0")/.."

dpi=96
code_page=936
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) dpi=$2 ;;
    --code-page) code_page=$2 ;;
    *)
      echo "usage: run.sh [--dpi 96|120|144|192] [--code-page 936|1252]" >&2
      exit 2
      ;;
  esac
  shift 2
done

./scripts/setup.sh
. scripts/wine-env.sh
if scripts/runs-32bit; then
  arch=win32
else
  arch=win64
  echo "NOTE: this machine's kernel cannot run 32-bit programs: the window shown is the 64-bit build's, not the product's"
fi
for preset in win32 $arch; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
echo "built: build/win32/ui/lexset.exe (the product); showing build/$arch/ui/lexset.exe"

lexset_wine $arch "$code_page"
lexset_wine_prefix
# The scaling, and a virtual desktop as much larger, hold for the programs
# started afterwards; the prefix gets its own back at the end, for the tests
# (its check takes a desktop of any size meanwhile). A busy machine may take
# minutes over a Wine command.
width=$((800 * dpi / 96))
height=$((600 * dpi / 96))
settings() {
  timeout 300 "$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  timeout 300 "$WINELOADER" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$2" /f >/dev/null 2>&1
  "$WINESERVER" -k 2>/dev/null || true
}
restore() {
  lexset_stop_wine
  [ "$dpi" = 96 ] || settings 96 800x600
}
trap restore EXIT
[ "$dpi" = 96 ] || settings "$dpi" "${width}x$height"
if [ -n "${DISPLAY:-}" ]; then
  timeout 86400 "$WINELOADER" "build/$arch/ui/lexset.exe"
  exit
fi

"$WINESERVER" -k 2>/dev/null || true
lexset_start_xvfb "$((width > 1024 ? width : 1024))x$((height > 768 ? height : 768))"
suffix=$([ "$dpi" = 96 ] || echo "-${dpi}dpi")$([ "$code_page" = 936 ] || echo "-cp$code_page")
present="build/$arch/tests/gui/lexset-gui-test.exe"
place=$(mktemp)
trap 'rm -f "$place"; restore' EXIT
for what in window about message folder read-only; do
  timeout 900 "$WINELOADER" "build/$arch/ui/lexset.exe" &
  # The driver waits two minutes for the window, which Wine may take on a
  # busy machine, and prints its place: to a file, as Wine's service
  # programs, when the driver is the one to start them, hold a pipe open
  # until the server ends.
  timeout 600 "$WINELOADER" "$present" --present "$what" >"$place" || {
    echo "run.sh: no $what to take a picture of: lexset-gui-test --present $what ended with status $?" >&2
    exit 1
  }
  geometry=$(tr -d '\r' <"$place")
  shot=build/lexset$([ "$what" = window ] || echo "-$what")$suffix.png
  import -window root -crop "$geometry" +repage "$shot"
  "$WINESERVER" -k 2>/dev/null || true
  wait $! 2>/dev/null || true
  echo "saved $shot"
done
echo "no display: the window was shown on a virtual one; screenshots saved as above"
