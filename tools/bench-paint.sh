#!/usr/bin/env bash
# Builds the Windows side (the win preset) and times one editor paint under Wine, next to one block
# transfer of the editor's client area, with their ratio on one line.
#
#   tools/bench-paint.sh [PAINTS]      (default 2000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root" && cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)" --target paint_bench
build="$root/build/win"
mkdir -p "$root/build/bench-paint-run" && cd "$root/build/bench-paint-run"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  wine "$build/bench/win/paint_bench.exe" "$build/plugin/ORVA Tempotally.dll" "${1:-2000}"
