#!/usr/bin/env bash
# Builds and runs the benchmarks:
#   tools/bench.sh [OPTIONS]                   the timeline engine's (the bench preset, Release);
#                                              OPTIONS go to it, e.g. --benchmark_repetitions=5
#   tools/bench.sh paint [PAINTS]              under Wine: one editor paint next to one block
#                                              transfer of its client area (2000 paints)
#   tools/bench.sh editor-load [SECONDS [DLL]] under Wine: paints per second and the window
#                                              thread's share of a core while a 120 BPM song plays
#                                              for 6 s (or SECONDS); DLL: another build to measure
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root"
build="$root/build/win"
dll="$build/plugin/ORVA Tempotally.dll"
case ${1:-} in
  paint) target=paint_bench args=("$dll" "${2:-2000}") ;;
  editor-load) target=editor_load_bench args=("${3:-$dll}" "${2:-6}") ;;
  *)
    cmake --preset bench >/dev/null
    cmake --build --preset bench -j "$(nproc)"
    exec "$root/build/bench/bench/tempotally_bench" "$@"
    ;;
esac
cmake --preset win >/dev/null
cmake --build --preset win -j "$(nproc)" --target "$target"
mkdir -p "$root/build/bench-$1-run" && cd "$root/build/bench-$1-run"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  wine "$build/bench/win/$target.exe" "${args[@]}"
