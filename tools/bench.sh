#!/usr/bin/env bash
# Builds the timeline benchmarks in Release (the bench preset) and runs them; arguments go to the
# benchmark program (for example --benchmark_filter=warm or --benchmark_repetitions=5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root" && cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
"$root/build/bench/bench/tempotally_bench" "$@"
