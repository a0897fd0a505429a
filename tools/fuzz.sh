#!/usr/bin/env bash
# Fuzzes the saved-state reader with clang's fuzzing engine under ASan and UBSan, on one worker,
# for the given number of seconds (default 60). Starts from the saved states in fuzz/corpus and
# keeps what it finds in build/fuzz/corpus; a failing input is written to build/fuzz/.
#   tools/fuzz.sh [seconds] [extra fuzzer options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true

if ! command -v clang++ >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "fuzz: installing clang" >&2
  $SUDO apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    clang libclang-rt-dev >/dev/null
fi

out="$root/build/fuzz"
mkdir -p "$out/corpus"
flags=(-std=c++17 -O2 -g -fno-omit-frame-pointer -I"$root" -Wall -Wextra -Werror
       -fsanitize=address,undefined -fno-sanitize-recover=all)
# The reader is instrumented for coverage; the writer, the map fill and the engine's reset are
# not: they hold no decisions worth guiding by and would take most of the time of each input.
printf 'fun:*StateEncoder*\nfun:*SaveState*\nfun:*Fill*\n' >"$out/coverage-ignore.txt"
clang++ "${flags[@]}" -fsanitize=fuzzer-no-link \
  -fsanitize-coverage-ignorelist="$out/coverage-ignore.txt" \
  -c "$root/timeline/StateCodec.cpp" -o "$out/StateCodec.o"
clang++ "${flags[@]}" -c "$root/timeline/TimelineEngine.cpp" -o "$out/TimelineEngine.o"
clang++ "${flags[@]}" -fsanitize=fuzzer "$root/fuzz/StateFuzz.cpp" "$out/StateCodec.o" \
  "$out/TimelineEngine.o" -o "$out/state_fuzz"

cd "$out"
exec "$out/state_fuzz" -max_total_time="$seconds" -workers=1 -jobs=1 -print_final_stats=1 \
  -artifact_prefix="$out/" "$@" "$out/corpus" "$root/fuzz/corpus"
