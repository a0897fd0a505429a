#!/usr/bin/env bash
# Plays the same song through the native build of the engine and through its Windows build (under
# Wine) and fails unless both give the same elapsed-time bits on every tick, for both steps.
set -euo pipefail
native=$1
windows=$2
tools=$(cd "$(dirname "$0")/../tools" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for step in 1 4; do
  for lookahead in "" --no-lookahead; do
    case="step $step ${lookahead:-(look ahead)}"
    # Each side must succeed and print ticks: two runs that both fail would print the same nothing.
    "$native" --bits --step "$step" $lookahead >"$scratch/native" ||
      { echo "$case: the native build failed (status $?)" >&2; exit 1; }
    "$tools/wine-exec.sh" "$windows" --bits --step "$step" $lookahead >"$scratch/windows" ||
      { echo "$case: the Windows build failed (status $?)" >&2; exit 1; }
    tr -d '\r' <"$scratch/windows" >"$scratch/windows.lf"
    ticks=$(wc -l <"$scratch/native")
    [ "$ticks" -gt 0 ] || { echo "$case: the native build printed no tick" >&2; exit 1; }
    if ! cmp -s "$scratch/native" "$scratch/windows.lf"; then
      echo "native and Windows builds differ ($case)" >&2
      exit 1
    fi
    echo "$case: $ticks ticks identical"
  done
done
