#!/usr/bin/env bash
# Builds the Windows side and runs the demo under Wine: the plug-in module as a host sees it, a song
# with tempo changes played through it and the stand-in video player, and screenshots of the video
# window and the editor.
#
#   tools/run.sh [OUTPUT_FOLDER]      (default: out/ at the top of the repository)
#   tools/run.sh --interactive        a host window to use by hand: the editor, the video window
#                                     and a transport (Space, Home, 1 to 4); ends when closed
#
# Uses the X display in $DISPLAY when one answers there, else starts Xvfb on a free display (the
# interactive mode needs a display of its own and says so); uses the Wine prefix build/wine-prefix
# (or $WINEPREFIX). Stops the Xvfb and wineserver that it started.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
interactive=0
if [ "${1:-}" = "--interactive" ]; then
  interactive=1
  shift
fi
out=$(mkdir -p "${1:-$root/out}" && cd "${1:-$root/out}" && pwd)
build="$root/build/win"
run_dir="$root/build/demo-run"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display_socket() { echo "/tmp/.X11-unix/X${1#:}"; }
xvfb_pid=""
display_ok=0
if [ -n "${DISPLAY:-}" ] && [[ "$DISPLAY" =~ ^:[0-9]+(\.[0-9]+)?$ ]]; then
  [ -S "$(display_socket "${DISPLAY%.*}")" ] && display_ok=1
fi
if [ "$display_ok" -eq 0 ] && [ "$interactive" -eq 1 ]; then
  echo "run: --interactive needs an X display to show its windows on; run it in a desktop" >&2
  echo "run: session, or set DISPLAY to a display that answers (for example DISPLAY=:0)" >&2
  exit 2
fi

"$root/tools/setup.sh"

echo "== building the Windows side in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" --target tempotally_demo

if [ "$display_ok" -eq 0 ]; then
  . "$root/tools/start-xvfb.sh"
  start_xvfb || { echo "run: no X display to run the demo on" >&2; exit 1; }
  echo "== started Xvfb on $DISPLAY"
fi

# The wineserver of this prefix: stopped afterwards only when this script started it.
mkdir -p "$WINEPREFIX"
# Its socket lies in a folder named after the prefix's device and inode, under a Wine folder in /tmp.
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
server_was_running=0
for socket in /tmp/.wine-"$(id -u)"/"$server_dir"/socket /tmp/wine-*/"$server_dir"/socket; do
  [ -S "$socket" ] && server_was_running=1
done

cleanup() {
  if [ "$server_was_running" -eq 0 ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1 || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1 || true
fi
# Wine draws the window frames itself for the demo alone (there is no window manager to do it), so
# the screenshots show the captions; the tests in the same prefix keep the default.
decorate_key='HKCU\Software\Wine\AppDefaults\tempotally_demo.exe\X11 Driver'
if [ "$interactive" -eq 1 ]; then
  # On a desktop the window manager draws the frames.
  wine reg delete "$decorate_key" /v Decorated /f >/dev/null 2>&1 || true
else
  wine reg add "$decorate_key" /v Decorated /d N /f >/dev/null 2>&1 || true
fi

plugin="$build/plugin/ORVA Tempotally.dll"
player="$build/devhost/standin_player/StandInPlayer.dll"
mkdir -p "$run_dir"
if [ "$interactive" -eq 1 ]; then
  echo "== opening the interactive host on $DISPLAY (working folder $run_dir)"
  cd "$run_dir"
  exec_status=0
  wine "$build/tools/demo/tempotally_demo.exe" --interactive "$plugin" "$player" || exec_status=$?
  exit "$exec_status"
fi
echo "== running the demo (working folder $run_dir)"
echo
status=0
(cd "$run_dir" && wine "$build/tools/demo/tempotally_demo.exe" "$plugin" "$player" "$out") || status=$?
echo
if [ "$status" -eq 0 ]; then
  echo "== screenshots in $out:"
else
  echo "== the demo reported a problem (exit $status); screenshots, if any, in $out:"
fi
ls -1 "$out"/*.png 2>/dev/null | sed 's/^/   /' || true
exit "$status"
