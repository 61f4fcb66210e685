#!/bin/bash
# usage: wine-prefix-test.sh win32|win64
# The tests' Wine prefix is used only as made: one that has lost a setting,
# through a running Wine server (which writes it to the prefix's files only
# later) or from the files themselves, is noticed at its next use and made
# again, and says what it lacked.
set -u
. "$(dirname "$0")/../scripts/wine-env.sh"
lexset_wine "$1" || exit 2
lexset_wine_prefix || exit 1
failed=0

fail() {
  echo "FAILED: $*"
  failed=1
}

http='HKEY_CLASSES_ROOT\http\shell\open\command'
https='HKEY_CLASSES_ROOT\https\shell\open\command'

# Lost through a server that goes on running: the server itself is asked.
"$WINESERVER" -p
timeout 300 "$WINELOADER" reg delete "$http" /f >/dev/null 2>&1 || fail "reg delete $http: status $?"
server=$(lexset_wine_server)
[ -n "$server" ] || fail "no Wine server seen running"
grep -qF "$http" <<<"$(lexset_prefix_missing "$server")" || fail "lost through the server, $http went unnoticed"

# Lost from the files too, with no server running: the next use makes the
# prefix again.
"$WINESERVER" -k
sed -i '/^\[Software\\\\Classes\\\\https\\\\shell\\\\open\\\\command\]/,/^$/{/^@=/d}' "$WINEPREFIX/system.reg"
said=$(lexset_wine_prefix 2>&1) || fail "the prefix was not made again: $said"
for key in "$http" "$https"; do
  grep -qF "$key" <<<"$said" || fail "the next use did not say that $key was lost: $said"
done
[ -f "$WINEPREFIX/.lexset-ready" ] && [ -z "$(lexset_prefix_missing "")" ] ||
  fail "the prefix made again lacks: $(lexset_prefix_missing "")"
exit "$failed"
