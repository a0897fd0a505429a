#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: prefix inside the build tree, no debug output,
# no Mono or Gecko. tools/test.sh starts the X display and keeps one wineserver alive for the run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wine-prefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
