#!/bin/sh
# Installs what building and testing lexset needs on Debian 12, as root.
# Safe to run again: it only calls apt when a package is missing.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="
  cmake ninja-build g++ make pkg-config time
  libgtest-dev
  clang libclang-rt-14-dev
  g++-multilib qemu-user-static
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  wine64 xvfb locales fonts-wqy-microhei fonts-wine imagemagick
  nsis
  wamerican wbritish rime-essay
"

# Runs a step; one that fails says so, where set -e alone would stop without
# a word.
step() {
  "$@" || {
    echo "setup: \"$*\" failed with status $?" >&2
    exit 1
  }
}

as_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: $1 (run this script as root)" >&2
    exit 1
  fi
}

# Installs those of the packages named that are missing.
install() {
  missing=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  as_root "missing packages:$missing"
  export DEBIAN_FRONTEND=noninteractive
  step apt-get update -qq
  # shellcheck disable=SC2086
  step apt-get install -y -qq --no-install-recommends $missing
}

# shellcheck disable=SC2086
install $PACKAGES

# The product is a 32-bit program. Where the kernel runs 32-bit programs,
# the 32-bit Wine runs it; elsewhere the tests say so and use the 64-bit
# build (scripts/test.sh). The core's 32-bit Linux build (g++-multilib)
# runs on any kernel, under qemu-i386-static where it must (scripts/run-i386).
if scripts/runs-32bit; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root "the i386 architecture is missing, for wine32:i386"
    step dpkg --add-architecture i386
  fi
  install wine32:i386
fi

# Wine shows ANSI texts through the zh_CN locale (code page 936).
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  as_root "locale zh_CN.UTF-8 is missing"
  step localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
