#!/bin/bash
# Builds the packages users get, with CPack, into build/packages/:
# lexset-VERSION-win32.zip and lexset-VERSION-win32-setup.exe, of the
# product; with "win64", the same of the 64-bit build, which the tests try
# where 32-bit programs cannot run.
# On a fresh Debian 12 machine, run it as root: it installs what is missing.
set -eEuo pipefail
# A step that fails says so: set -e alone stops without a word.
trap 'echo "package.sh: line $LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR
cd "$(dirname "$0")/.."

./scripts/setup.sh
case ${1:-win32} in
  win32) cmake --workflow --preset package ;;
  win64) cmake --workflow --preset package-win64 ;;
  *)
    echo "usage: package.sh [win32|win64]" >&2
    exit 2
    ;;
esac
