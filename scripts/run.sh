#!/bin/bash
# Builds lexset (the 32-bit product and the 64-bit build) and opens its
# window under Wine. This machine cannot run 32-bit programs, so the 64-bit
# build of the same sources is the one shown. With a display the window
# stays until you close it; without one, a virtual display is started and
# screenshots of the window and of its About box are saved to
# build/lexset.png and build/lexset-about.png.
# On a fresh Debian 12 machine, run it as root: it installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
echo "built: build/win32/ui/lexset.exe (the 32-bit product), build/win64/ui/lexset.exe"

. scripts/wine-env.sh
lexset_wine_prefix

if [ -n "${DISPLAY:-}" ]; then
  exec "$WINELOADER" build/win64/ui/lexset.exe
fi

"$WINESERVER" -k 2>/dev/null || true
lexset_start_xvfb
trap lexset_stop_wine EXIT
"$WINELOADER" build/win64/ui/lexset.exe &
geometry=$(timeout 60 "$WINELOADER" build/win64/tests/gui/lexset-present.exe | tr -d '\r')
import -window root -crop "$geometry" +repage build/lexset.png
geometry=$(timeout 60 "$WINELOADER" build/win64/tests/gui/lexset-present.exe about | tr -d '\r')
import -window root -crop "$geometry" +repage build/lexset-about.png
echo "no display: the window was shown on a virtual one; screenshots saved to build/lexset.png and build/lexset-about.png"
