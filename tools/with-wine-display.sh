#!/usr/bin/env bash
# Runs a command with a private X display (Xvfb) and one wineserver kept alive for its whole run,
# in the Wine prefix $WINEPREFIX (created on first use). Stops both afterwards.
# TEMPOTALLY_XVFB_SCREENS, when set, replaces the one 1280 x 1024 screen, e.g. by two with +xinerama.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1 || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
. "$(dirname "$0")/start-xvfb.sh"
start_xvfb

mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || echo "wine: creating prefix $WINEPREFIX" >&2
wineserver -p >/dev/null 2>&1 </dev/null || true
# Start Wine's background services here, detached from our output: started by the first test
# program instead, they would inherit ctest's pipe and keep it waiting after the test ends.
wine wineboot >/dev/null 2>&1 </dev/null || true
"$@"
