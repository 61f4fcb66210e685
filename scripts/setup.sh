#!/bin/sh
# Installs what building and testing lexset needs on Debian 12, as root.
# Safe to run again: it only calls apt when a package is missing.
set -eu

PACKAGES="
  cmake ninja-build g++ make pkg-config time
  libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  wine64 xvfb locales fonts-wqy-microhei fonts-wine imagemagick
  wamerican wbritish rime-essay
"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done

if [ -n "$missing" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages:$missing (run this script as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
fi

# Wine shows ANSI texts through the zh_CN locale (code page 936).
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  else
    echo "setup: locale zh_CN.UTF-8 is missing (run this script as root)" >&2
    exit 1
  fi
fi
