#!/usr/bin/env bash
# Validates a built plug-in module under Wine, the way plug-in validators check other formats:
# lifecycle and resource counts, random host-call sequences, damaged and chunked state streams,
# ticks against paints and restores on two threads, and three threads (ticks; paints and clicks
# on a window thread suspended at random; saves, restores and notifications on a third). Each group runs in a process of its own.
# Prints one line per check and a summary "N passed, N failed".
#   tools/validate.sh [--full] [DLL]     (default: the DLL of build/win; short level unless --full)
set -uo pipefail  # no -e: every group runs, and the summary counts the failures
root=$(cd "$(dirname "$0")/.." && pwd)
level=short
if [ "${1:-}" = "--full" ]; then level=full; shift; fi
"$root/tools/setup.sh" || exit 1

build="$root/build/win"
if [ ! -x "$build/tools/validate/tempotally_validate.exe" ] || [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null || exit 1
fi
cmake --build "$build" -j "$(nproc)" --target tempotally_validate >/dev/null || exit 1
dll=$(realpath "${1:-$build/plugin/ORVA Tempotally.dll}")
player="$build/devhost/standin_player/StandInPlayer.dll"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Each group must end with status 0 and run at least one check; anything else is a failure line.
run_groups() {
  cd "$build/tools/validate" || { echo "FAIL validator: no folder $build/tools/validate"; return 1; }
  local group log status
  log=$(mktemp)
  for group in lifecycle random streams threads three; do
    echo "== $group ($level)"
    timeout 1800 wine ./tempotally_validate.exe "$group" "$level" "$dll" "$player" | tr -d '\r' |
      tee "$log"
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || echo "FAIL $group: the process ended with status $status"
    grep -q '^PASS \|^FAIL ' "$log" || echo "FAIL $group: no check ran"
  done
  rm -f "$log"
}
export -f run_groups
export build level dll player
status=0
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  bash -c run_groups | tee "$out" || status=$?
[ "$status" -eq 0 ] || echo "FAIL validator: the run ended with status $status (no display or no Wine?)" | tee -a "$out"
passed=$(grep -c '^PASS' "$out" || true)
failed=$(grep -c '^FAIL' "$out" || true)
[ "$passed" -gt 0 ] || { echo "FAIL validator: no check passed" | tee -a "$out"; failed=$((failed + 1)); }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
