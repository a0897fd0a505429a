#!/usr/bin/env bash
# Builds the Windows side and times one editor paint under Wine, next to one block transfer of the
# editor's client area, with their ratio on one line.
#
#   tools/bench-paint.sh [PAINTS]      (default 2000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
build="$root/build/win"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)" --target paint_bench
mkdir -p "$root/build/bench-paint-run"
cd "$root/build/bench-paint-run"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  wine "$build/tools/paintbench/paint_bench.exe" "$build/plugin/ORVA Tempotally.dll" "${1:-2000}"
