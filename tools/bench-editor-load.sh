#!/usr/bin/env bash
# Builds the Windows side (the win preset) and measures, under Wine, what the open editor costs the
# host's window thread while a steady 120 BPM song plays in real time on a mixer thread for 6 s (or
# SECONDS): the paints per second and the thread's share of one core, one line each.
#
#   tools/bench-editor-load.sh [SECONDS] [DLL]      (DLL: another build of the module to measure)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root" && cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)" --target editor_load_bench
build="$root/build/win"
mkdir -p "$root/build/bench-editor-load-run" && cd "$root/build/bench-editor-load-run"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  wine "$build/bench/win/editor_load_bench.exe" \
  "${2:-$build/plugin/ORVA Tempotally.dll}" "${1:-6}"
