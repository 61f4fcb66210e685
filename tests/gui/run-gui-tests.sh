#!/bin/bash
# Runs the GUI tests against the 64-bit build: a virtual X display of its
# own, the project's Wine prefix with the shell recorder in place, then the
# driver. Usage: run-gui-tests.sh WIN64_BUILD_DIR [GROUP]
set -euo pipefail
build=$(cd "$1" && pwd)
group=${2:-}
. "$(dirname "$0")/../../scripts/wine-env.sh"

lexset_wine_prefix
"$WINESERVER" -k 2>/dev/null || true  # no process left from a run without a display
lexset_start_xvfb
trap lexset_stop_wine EXIT

test_dir="$WINEPREFIX/drive_c/lexset-test"
mkdir -p "$test_dir/work"
cp "$build/tests/gui/shell-recorder.exe" "$test_dir/"
rm -f "$test_dir/shell.log"

timeout 900 "$WINELOADER" "$build/tests/gui/lexset-gui-test.exe" \
  "$(lexset_windows_path "$build/ui/lexset.exe")" \
  "$(lexset_windows_path "$build/tests/gui/lexset-probe.dll")" \
  "$(lexset_windows_path "$build/tests/gui/lexset-link-host.exe")" \
  'C:\lexset-test\work' 'C:\lexset-test\shell.log' ${group:+"$group"}
