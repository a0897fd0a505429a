#!/usr/bin/env bash
# Validates a built plug-in module under Wine beyond the black-box suite: create/release cycles with
# the process's resources and memory counted, ticks against paints and restores on two threads, and
# three threads (ticks; paints on a window thread suspended at random; saves, restores and
# notifications on a third).
# Each group runs in a process of its own. Prints one line per check and "N passed, N failed".
#   tools/validate.sh [--full] [DLL]     (default: the DLL of build/win; short level unless --full)
set -uo pipefail  # no -e: every group runs, and the summary counts the failures
root=$(cd "$(dirname "$0")/.." && pwd)
level=short
if [ "${1:-}" = "--full" ]; then level=full; shift; fi
"$root/tools/setup.sh" || exit 1
cd "$root" && cmake --preset win >/dev/null && cmake --build --preset win -j "$(nproc)" \
  --target tempotally_validate >/dev/null || exit 1
build="$root/build/win"
dll=$(realpath "${1:-$build/plugin/ORVA Tempotally.dll}")
cd "$build/tools/validate" || exit 1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for group in lifecycle threads three; do
  echo "== $group ($level)"
  WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" timeout 1800 "$root/tools/with-wine-display.sh" \
    wine ./tempotally_validate.exe "$group" "$level" "$dll" \
    "$build/devhost/standin_player/StandInPlayer.dll" | tr -d '\r' | tee -a "$out"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || echo "FAIL $group: ended with status $status (no display or no Wine?)" | tee -a "$out"
done
passed=$(grep -c '^PASS' "$out")
failed=$(grep -c '^FAIL' "$out")
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
