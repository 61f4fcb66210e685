# The project's Wine settings, shared by the tests and the run command.
# Source it from bash, then call `lexset_wine win32` or `lexset_wine win64`
# to choose the Wine of that Windows build (`lexset_wine win64 1252` for a
# system whose ANSI code page is 1252), and lexset_wine_prefix to make its
# prefix on first use. Another second word names a prefix of another use:
# `lexset_wine win32 install` is build/wineprefix-win32-install.

LEXSET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export WINEDEBUG=-all
# No Mono or Gecko download prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A Chinese locale gives the ANSI code page 936 that the program is built for.
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8

# Sets the Wine variables for the programs of build ARCH [USE]: the 32-bit
# product runs under the 32-bit loader in a WINEARCH=win32 prefix of its
# own, the 64-bit build under the 64-bit loader. Both loaders are called
# directly: Debian keeps them off PATH. With CODE_PAGE 1252 the programs
# run as on an English Windows, in a prefix of its own: Wine takes the ANSI
# code page from the locale, and C.UTF-8 gives 1252. Any other USE is a
# prefix of its own, under the Chinese locale.
#   lexset_wine ARCH [CODE_PAGE|USE]
lexset_wine() {
  case ${2:-936} in
    936)
      export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
      local prefix_name=wineprefix-$1
      ;;
    1252)
      export LANG=C.UTF-8 LC_ALL=C.UTF-8
      local prefix_name=wineprefix-$1-cp1252
      ;;
    *)
      export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
      local prefix_name=wineprefix-$1-$2
      ;;
  esac
  case $1 in
    win32) export WINELOADER=/usr/lib/wine/wine ;;
    win64) export WINELOADER=/usr/lib/wine/wine64 ;;
    *)
      echo "wine-env: no Wine for '$1' (win32 or win64)" >&2
      return 2
      ;;
  esac
  export WINEARCH=$1
  export WINEPREFIX="$LEXSET_ROOT/build/$prefix_name"
  export WINESERVER=/usr/lib/wine/wineserver64
}

# Makes the prefix once: Windows-style fonts for captions, a virtual desktop
# for real window frames, and shell "open" commands that only record what
# they were given (see tests/gui/).
lexset_wine_prefix() {
  [ -f "$WINEPREFIX/.lexset-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.lexset-ready" ] && exit 0
    timeout 300 "$WINELOADER" wineboot -i >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    timeout 120 "$WINELOADER" regedit /S "$LEXSET_ROOT/scripts/wine-prefix.reg" >/dev/null 2>&1
    if [ "$LANG" != zh_CN.UTF-8 ]; then
      # As on an English Windows since Vista, Chinese text has fonts: the
      # dialogs' 宋体 (SimSun), and a fallback for the system's font.
      local replacements='HKCU\Software\Wine\Fonts\Replacements' wqy='WenQuanYi Micro Hei'
      timeout 60 "$WINELOADER" reg add "$replacements" /v 宋体 /d "$wqy" /f >/dev/null 2>&1
      timeout 60 "$WINELOADER" reg add "$replacements" /v SimSun /d "$wqy" /f >/dev/null 2>&1
      local face
      for face in Tahoma 'Tahoma Bold'; do
        timeout 60 "$WINELOADER" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,$wqy" /f >/dev/null 2>&1
      done
    fi
    # Registry changes reach the desktop only from the next server start.
    timeout 120 "$WINESERVER" -w
    [ -f "$WINEPREFIX/system.reg" ] && touch "$WINEPREFIX/.lexset-ready"
  ) 9>"$WINEPREFIX.lock"
}

# Starts a virtual X display of its own, 1024 x 768 unless a size is given
# (WIDTHxHEIGHT), and points DISPLAY at it.
lexset_start_xvfb() {
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp 3>"$display_file" 2>/dev/null &
  LEXSET_XVFB_PID=$!
  for _ in $(seq 200); do
    [ -s "$display_file" ] && break
    sleep 0.05
  done
  export DISPLAY=":$(cat "$display_file")"
  rm -f "$display_file"
}

# Ends every Wine process of the prefix, and the virtual display if one was
# started.
lexset_stop_wine() {
  "$WINESERVER" -k 2>/dev/null || true
  if [ -n "${LEXSET_XVFB_PID:-}" ]; then
    kill "$LEXSET_XVFB_PID" 2>/dev/null || true
    LEXSET_XVFB_PID=
  fi
}
