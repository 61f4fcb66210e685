#!/bin/bash
# Builds lexset and opens its window under Wine: the 32-bit product, or,
# where the kernel cannot run 32-bit programs, the 64-bit build of the same
# sources (and it says so). With a display the window stays until you close
# it; without one, a virtual display is started and screenshots of the
# window and of its About box are saved to build/lexset.png and
# build/lexset-about.png.
# On a fresh Debian 12 machine, run it as root: it installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

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

lexset_wine $arch
lexset_wine_prefix
if [ -n "${DISPLAY:-}" ]; then
  exec "$WINELOADER" "build/$arch/ui/lexset.exe"
fi

"$WINESERVER" -k 2>/dev/null || true
lexset_start_xvfb
trap lexset_stop_wine EXIT
"$WINELOADER" "build/$arch/ui/lexset.exe" &
present="build/$arch/tests/gui/lexset-gui-test.exe"
geometry=$(timeout 60 "$WINELOADER" "$present" --present | tr -d '\r')
import -window root -crop "$geometry" +repage build/lexset.png
geometry=$(timeout 60 "$WINELOADER" "$present" --present about | tr -d '\r')
import -window root -crop "$geometry" +repage build/lexset-about.png
echo "no display: the window was shown on a virtual one; screenshots saved to build/lexset.png and build/lexset-about.png"
