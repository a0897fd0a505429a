#!/usr/bin/env bash
# Builds the Windows side (the win preset) and runs the demo under Wine: the plug-in module as a
# host sees it, a song with tempo changes played through it and the stand-in video player, and
# screenshots of the video window and the editor.
#
#   tools/run.sh [OUTPUT_FOLDER]      (default: out/ at the top of the repository)
#   tools/run.sh --interactive        a host window to use by hand: the editor, the video window
#                                     and a transport (Space, Home, 1 to 4); ends when closed
#
# Uses the X display in $DISPLAY when one answers there, else runs on a private one (xvfb-run; the
# interactive mode needs a display of its own and says so); uses the Wine prefix build/wine-prefix
# (or $WINEPREFIX). Stops the wineserver that it started.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
interactive=0
if [ "${1:-}" = "--interactive" ]; then
  interactive=1
  shift
fi
display_ok=0
if [[ "${DISPLAY:-}" =~ ^:([0-9]+)(\.[0-9]+)?$ ]] && [ -S "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]; then
  display_ok=1
fi
if [ "$display_ok" -eq 0 ] && [ "$interactive" -eq 1 ]; then
  echo "run: --interactive needs an X display to show its windows on; run it in a desktop" >&2
  echo "run: session, or set DISPLAY to a display that answers (for example DISPLAY=:0)" >&2
  exit 2
fi

"$root/tools/setup.sh"
if [ "$display_ok" -eq 0 ]; then
  echo "== running on a private X display (xvfb-run)"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

out=$(mkdir -p "${1:-$root/out}" && cd "${1:-$root/out}" && pwd)
build="$root/build/win"
run_dir="$root/build/demo-run"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

echo "== building the Windows side in $build"
cd "$root" && cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)" --target tempotally_demo

# The wineserver of this prefix: stopped afterwards only when this script started it. Its socket
# lies in a folder named after the prefix's device and inode, under a Wine folder in /tmp.
mkdir -p "$WINEPREFIX"
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
if ! ls /tmp/.wine-"$(id -u)"/"$server_dir"/socket /tmp/wine-*/"$server_dir"/socket >/dev/null 2>&1; then
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1 || true
fi
# Wine draws the window frames itself for the demo alone (there is no window manager to do it), so
# the screenshots show the captions; the tests in the same prefix keep the default. On a desktop
# the window manager draws the frames.
decorate_key='HKCU\Software\Wine\AppDefaults\tempotally_demo.exe\X11 Driver'
if [ "$interactive" -eq 1 ]; then
  wine reg delete "$decorate_key" /v Decorated /f >/dev/null 2>&1 || true
else
  wine reg add "$decorate_key" /v Decorated /d N /f >/dev/null 2>&1 || true
fi

demo="$build/tools/demo/tempotally_demo.exe"
plugin="$build/plugin/ORVA Tempotally.dll"
player="$build/devhost/standin_player/StandInPlayer.dll"
mkdir -p "$run_dir" && cd "$run_dir"
if [ "$interactive" -eq 1 ]; then
  echo "== opening the interactive host on $DISPLAY (working folder $run_dir)"
  wine "$demo" --interactive "$plugin" "$player"
  exit
fi
echo "== running the demo (working folder $run_dir)"
echo
status=0
wine "$demo" "$plugin" "$player" "$out" || status=$?
echo
if [ "$status" -eq 0 ]; then
  echo "== screenshots in $out:"
else
  echo "== the demo reported a problem (exit $status); screenshots, if any, in $out:"
fi
ls -1 "$out"/*.png 2>/dev/null | sed 's/^/   /' || true
exit "$status"
