#!/usr/bin/env bash
# Fuzzes the saved-state reader with clang's fuzzing engine under ASan and UBSan (the fuzz preset),
# on one worker, for the given number of seconds (default 60). Starts from the saved states in
# fuzz/corpus and keeps what it finds in build/fuzz/corpus; a failing input is written to build/fuzz/.
#   tools/fuzz.sh [seconds] [extra fuzzer options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
"$root/tools/setup.sh" clang libclang-rt-dev
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
out="$root/build/fuzz"
mkdir -p "$out/corpus"
cd "$out"
exec "$out/fuzz/state_fuzz" -max_total_time="$seconds" -workers=1 -jobs=1 -print_final_stats=1 \
  -artifact_prefix="$out/" "$@" "$out/corpus" "$root/fuzz/corpus"
