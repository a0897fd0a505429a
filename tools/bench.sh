#!/usr/bin/env bash
# Builds the timeline benchmarks in Release and runs them; arguments go to the benchmark program
# (for example --benchmark_filter=warm or --benchmark_repetitions=5).
set -euo pipefail
"$(dirname "$0")/setup.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/bench" -j "$(nproc)" --target tempotally_bench
"$root/build/bench/bench/tempotally_bench" "$@"
