#!/usr/bin/env bash
# Builds the Windows side (the win preset) and runs the demo under Wine on a private X display
# (tools/with-wine-display.sh) in the Wine prefix build/wine-prefix (or $WINEPREFIX): the module as
# a host sees it, a song with tempo changes played through it and the stand-in video player, and
# screenshots of the video window and the editor.
#
#   tools/run.sh [OUTPUT_FOLDER]   (default: out/ at the top of the repository)
#   tools/run.sh --interactive     a host window to use by hand on the display in $DISPLAY
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win"
run_dir="$root/build/demo-run"
demo="$build/tools/demo/tempotally_demo.exe"
plugin="$build/plugin/ORVA Tempotally.dll"
player="$build/devhost/standin_player/StandInPlayer.dll"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
decorate_key='HKCU\Software\Wine\AppDefaults\tempotally_demo.exe\X11 Driver'

if [ "${1:-}" = --on-display ]; then
  # With no window manager to draw the window frames, Wine draws them for the demo, so that the
  # screenshots show the captions; the tests in the same prefix keep the default.
  wine reg add "$decorate_key" /v Decorated /d N /f >/dev/null 2>&1 || true
  cd "$run_dir" && exec wine "$demo" "$plugin" "$player" "$2"
elif [ "${1:-}" = --interactive ]; then
  if ! [[ "${DISPLAY:-}" =~ ^:([0-9]+)(\.[0-9]+)?$ && -S "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]]; then
    echo "run: --interactive needs an X display to show its windows on; run it in a desktop" >&2
    echo "run: session, or set DISPLAY to a display that answers (for example DISPLAY=:0)" >&2
    exit 2
  fi
else
  out=$(mkdir -p "${1:-$root/out}" && cd "${1:-$root/out}" && pwd)
fi

"$root/tools/setup.sh"
echo "== building the Windows side in $build"
cd "$root" && cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)" --target tempotally_demo
mkdir -p "$run_dir"

if [ "${1:-}" = --interactive ]; then
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # On a desktop the window manager draws the frames.
  wine reg delete "$decorate_key" /v Decorated /f >/dev/null 2>&1 || true
  echo "== opening the interactive host on $DISPLAY (working folder $run_dir)"
  cd "$run_dir" && exec wine "$demo" --interactive "$plugin" "$player"
fi
echo "== running the demo on a private X display (working folder $run_dir)"
echo
status=0
"$root/tools/with-wine-display.sh" "$0" --on-display "$out" || status=$?
echo
[ "$status" -eq 0 ] || echo "== the demo reported a problem (exit $status)"
echo "== screenshots in $out:"
ls -1 "$out"/*.png 2>/dev/null | sed 's/^/   /' || true
exit "$status"
