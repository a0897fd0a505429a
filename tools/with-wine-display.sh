#!/usr/bin/env bash
# Runs a command with a private X display (Xvfb) and one wineserver kept alive for its whole run,
# in the Wine prefix $WINEPREFIX (created on first use). Stops both afterwards.
# TEMPOTALLY_XVFB_SCREENS, when set, replaces the one 1280 x 1024 screen, e.g. by two with +xinerama.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
read -r -a screens <<<"${TEMPOTALLY_XVFB_SCREENS:--screen 0 1280x1024x24}"
Xvfb ":$display" "${screens[@]}" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || echo "wine: creating prefix $WINEPREFIX" >&2
wineserver -p >/dev/null 2>&1 </dev/null || true
# Start Wine's background services here, detached from our output: started by the first test
# program instead, they would inherit ctest's pipe and keep it waiting after the test ends.
wine wineboot >/dev/null 2>&1 </dev/null || true
"$@"
