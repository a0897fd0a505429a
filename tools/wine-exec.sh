#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: prefix inside the build tree, no debug output,
# no Mono or Gecko. tools/test.sh gives it the X display and keeps one wineserver alive for the run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wine-prefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# ctest reads a GoogleTest program's list of tests line by line: without Windows line ends.
case " $* " in *" --gtest_list_tests "*) wine "$@" | tr -d '\r'; exit "${PIPESTATUS[0]}" ;; esac
exec wine "$@"
