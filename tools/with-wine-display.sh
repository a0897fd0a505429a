#!/usr/bin/env bash
# Runs a command on a private X display (xvfb-run -a) with one wineserver kept alive for its whole
# run, in the Wine prefix $WINEPREFIX (created on first use). Stops both afterwards.
# TEMPOTALLY_XVFB_SCREENS, when set, replaces the one 1280 x 1024 screen, e.g. by two with +xinerama.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
if [ "${1:-}" != --on-display ]; then
  # xvfb-run's own default screen has 8-bit colour; without -noreset, Xvfb with several Xinerama
  # heads aborts as it resets after its last client leaves.
  exec xvfb-run -a -s "${TEMPOTALLY_XVFB_SCREENS:--screen 0 1280x1024x24} -noreset" \
    "$0" --on-display "$@"
fi
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || echo "wine: creating prefix $WINEPREFIX" >&2
wineserver -p >/dev/null 2>&1 </dev/null || true
# Start Wine's background services here, detached from our output: started by the first test
# program instead, they would inherit ctest's pipe and keep it waiting after the test ends.
wine wineboot >/dev/null 2>&1 </dev/null || true
# A new prefix now and then comes out without its system files (seen once in a fresh root), and
# every program then fails to load kernel32: its update is run once more (Wine runs it as a new
# server's first process starts, when the prefix's timestamp is missing or stale).
windows="$WINEPREFIX/drive_c/windows"
if [ ! -f "$windows/system32/kernel32.dll" ] ||
  { [ -d "$windows/syswow64" ] && [ ! -f "$windows/syswow64/kernel32.dll" ]; }; then
  echo "wine: the prefix lacks kernel32; updating it again" >&2
  wineserver -k >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/.update-timestamp"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine wineboot >/dev/null 2>&1 </dev/null || true
fi
"$@"
