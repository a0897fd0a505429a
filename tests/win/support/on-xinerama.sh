#!/usr/bin/env bash
# Runs one Windows program under Wine with the monitors of the display's Xinerama heads: Wine reads
# its monitors from XRandR otherwise, which Xvfb gives one screen only. Run inside
# tools/with-wine-display.sh; the setting takes effect with the next wineserver.
set -eu
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1 </dev/null
wineserver -k
wineserver -w
exec wine "$@"
