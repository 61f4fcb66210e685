# The project's Wine settings, shared by the tests and the run command.
# Source it from bash, then call `lexset_wine win32` or `lexset_wine win64`
# to choose the Wine of that Windows build (`lexset_wine win64 1252` for a
# system whose ANSI code page is 1252), and lexset_wine_prefix to make its
# prefix on first use and check it at every use. Another second word names
# a prefix of another use: `lexset_wine win32 install` is
# build/wineprefix-win32-install.

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

# The fonts the prefix gets: Marlett draws the caption buttons, Tahoma is
# the system's font. Wine does not look for them where Debian keeps them.
LEXSET_WINE_FONTS=(/usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf)

# The settings of the prefix that the tests and the screenshots rely on, a
# line each: KEY|VALUE|TYPE|DATA (VALUE empty for the key's default): those
# of wine-prefix.reg (a virtual desktop for real window frames, and shell
# "open" commands that only record what they were given, see tests/gui/),
# then those of lexset_code_page_settings.
lexset_prefix_settings() {
  local line key name data
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
      \[*\]) key=${line:1:-1} ;;
      *=\"*\")
        name=${line%%=*} data=${line#*=\"}
        if [ "$name" = @ ]; then name=; else name=${name:1:-1}; fi
        data=${data%\"} && data=${data//\\\"/\"}
        echo "$key|$name|REG_SZ|${data//\\\\/\\}"
        ;;
    esac
  done <"$LEXSET_ROOT/scripts/wine-prefix.reg"
  lexset_code_page_settings
}

# Those added for code page 1252: as on an English Windows since Vista,
# Chinese text has fonts, the dialogs' 宋体 (SimSun), and a fallback for
# the system's font.
lexset_code_page_settings() {
  [ "$LANG" != zh_CN.UTF-8 ] || return 0
  local wqy='WenQuanYi Micro Hei' face
  echo "HKCU\\Software\\Wine\\Fonts\\Replacements|宋体|REG_SZ|$wqy"
  echo "HKCU\\Software\\Wine\\Fonts\\Replacements|SimSun|REG_SZ|$wqy"
  for face in Tahoma 'Tahoma Bold'; do
    echo "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink|$face|REG_MULTI_SZ|wqy-microhei.ttc,$wqy"
  done
}

# Prints the running Wine server of the prefix as the inode and change time
# of its socket, or nothing when none runs. Debian's Wine keeps the socket
# in a folder of its own under /tmp that the prefix's file "wineserver"
# names, upstream's in /tmp/.wine-UID.
lexset_wine_server() {
  [ -d "$WINEPREFIX" ] || return 0
  local server
  server=server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
  stat -c '%i %.9Z' "/tmp/$(cat "$WINEPREFIX/wineserver" 2>/dev/null)/$server/socket" \
    "/tmp/.wine-$(id -u)/$server/socket" 2>/dev/null || true
}

# lexset_reg_value KEY VALUE SERVER: the data of a value of the prefix's
# registry. A running server holds the registry in memory and writes it to
# the prefix's files only now and then and when it ends; so it is asked,
# and the files are read only when no server runs (SERVER empty).
lexset_reg_value() {
  local key=$1 name=$2 file=system.reg char code
  if [ -n "$3" ]; then
    local which=(/ve) answer
    [ -z "$name" ] || which=(/v "$name")
    # The answer goes to a file: Wine's service programs, if this query
    # starts them, would keep a pipe open until the server ends.
    answer=$(mktemp)
    timeout 300 "$WINELOADER" reg query "$key" "${which[@]}" </dev/null >"$answer" 2>/dev/null || true
    # Bytewise: the name of the default value comes in the console's code page.
    tr -d '\r' <"$answer" | LC_ALL=C sed -n 's/^    .*    REG_[A-Z_]*    //p'
    rm -f "$answer"
    return 0
  fi
  case $key in
    HKEY_CLASSES_ROOT\\* | HKCR\\*) key=Software\\Classes\\${key#*\\} ;;
    HKEY_CURRENT_USER\\* | HKCU\\*) key=${key#*\\} file=user.reg ;;
    *) key=${key#*\\} ;;
  esac
  # The files write backslashes and quotes escaped, the default value as @
  # and characters beyond ASCII in names as \xXXXX.
  local written=@
  if [ -n "$name" ]; then
    written=\"
    for ((char = 0; char < ${#name}; char++)); do
      printf -v code %d "'${name:char:1}"
      if ((code < 128)); then written+=${name:char:1}; else written+=$(printf '\\x%04x' "$code"); fi
    done
    written+=\"
  fi
  SECTION="[${key//\\/\\\\}]" VALUE="$written=" awk '
    BEGIN { section = tolower(ENVIRON["SECTION"]); value = ENVIRON["VALUE"] }
    /^\[/ { inside = index(tolower($0), section) == 1; next }
    inside && index($0, value) == 1 { print substr($0, length(value) + 1); exit }
  ' "$WINEPREFIX/$file" 2>/dev/null | sed 's/^str([0-9]):"/"/; s/\\0"$/"/; s/^"//; s/"$//; s/\\"/"/g; s/\\\\/\\/g' || true
}

# lexset_prefix_missing SERVER: what of its settings and fonts the prefix
# lacks, a line each; nothing when it has them all.
lexset_prefix_missing() {
  local font key name type data found
  for font in "${LEXSET_WINE_FONTS[@]}"; do
    cmp -s "$font" "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}" || echo "  the font ${font##*/}"
  done
  while IFS='|' read -r key name type data; do
    found=$(lexset_reg_value "$key" "$name" "$1")
    # run.sh gives the desktop another size for a while.
    [ "$found" = "$data" ] || [[ $key == *\\Desktops && $found =~ ^[0-9]+x[0-9]+$ ]] ||
      echo "  $key ${name:-(default)} = $data"
  done < <(lexset_prefix_settings)
}

# Makes the prefix afresh, its settings on disk; says what failed, if anything.
lexset_make_prefix() {
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" 2>&1 || { echo "  cannot remove the old $WINEPREFIX"; return 1; }
  # wineboot returns while Wine's first start may still go on (its own
  # associations, its services), and settings imported meanwhile may be
  # lost: ours go in once the server has ended, and all of that with it.
  timeout 900 "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 || { echo "  wineboot -i: status $?"; return 1; }
  timeout 900 "$WINESERVER" -w || { echo "  the Wine server did not end after wineboot"; return 1; }
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts" 2>&1 && cp "${LEXSET_WINE_FONTS[@]}" "$fonts/" 2>&1 || { echo "  cannot copy the fonts"; return 1; }
  timeout 300 "$WINELOADER" regedit /S "$LEXSET_ROOT/scripts/wine-prefix.reg" </dev/null >/dev/null 2>&1 ||
    { echo "  regedit: status $?"; return 1; }
  local key name type data
  while IFS='|' read -r key name type data; do
    timeout 300 "$WINELOADER" reg add "$key" /v "$name" /t "$type" /d "$data" /f </dev/null >/dev/null 2>&1 ||
      { echo "  reg add $key /v $name: status $?"; return 1; }
  done < <(lexset_code_page_settings)
  # The registry reaches the files, for the check, when the server ends;
  # the desktop's settings hold from the next server start.
  timeout 900 "$WINESERVER" -w || { echo "  the Wine server did not end after the settings"; return 1; }
}

# Makes the prefix on first use, and makes it again when it has lost any
# of its settings or fonts: it is checked at every use, from its files at
# little cost while no Wine server runs for it, and once for each server
# that does (the benchmark keeps one running; .lexset-server names the last
# one found right, and what is lost through that server is noticed once it
# has ended). It is made under a lock, and it is ready, with the file
# .lexset-ready, only once checked; made wrong twice, it is refused. What
# happened is in build/wineprefix-*.log.
lexset_wine_prefix() {
  local ready=$WINEPREFIX/.lexset-ready server
  server=$(lexset_wine_server)
  if [ -f "$ready" ]; then
    [ -z "$server" ] || [ "$(cat "$WINEPREFIX/.lexset-server" 2>/dev/null)" != "$server" ] || return 0
    if [ -z "$(lexset_prefix_missing "$server")" ]; then
      [ -z "$server" ] || echo "$server" 2>/dev/null >"$WINEPREFIX/.lexset-server" || true
      return 0
    fi
  fi
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9 || exit 1
    local missing attempt started=$SECONDS log=$WINEPREFIX.log
    if [ -f "$ready" ]; then
      missing=$(lexset_prefix_missing "$(lexset_wine_server)")
      [ -n "$missing" ] || exit 0  # made again meanwhile
      # The files have the last word: a running server writes them as it ends.
      "$WINESERVER" -k 2>/dev/null || true
      missing=$(lexset_prefix_missing "")
      [ -n "$missing" ] || exit 0
      printf 'wine-env: %s has lost what the tests rely on; making it again. It lacks:\n%s\n' "$WINEPREFIX" "$missing" |
        tee -a "$log" >&2
    fi
    for attempt in 1 2; do
      if missing=$(lexset_make_prefix); then
        missing=$(lexset_prefix_missing "$(lexset_wine_server)")
        if [ -z "$missing" ]; then
          touch "$ready"
          echo "$(date '+%F %T') made in $((SECONDS - started)) s (attempt $attempt)" >>"$log"
          exit 0
        fi
      fi
      printf '%s attempt %s failed after %s s:\n%s\n' "$(date '+%F %T')" $attempt $((SECONDS - started)) "$missing" >>"$log"
    done
    printf 'wine-env: cannot make the Wine prefix %s (tried twice):\n%s\n' "$WINEPREFIX" "$missing" |
      tee -a "$log" >&2
    exit 1
  ) 9>"$WINEPREFIX.lock" || return 1
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
