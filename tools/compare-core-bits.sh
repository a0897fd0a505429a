#!/usr/bin/env bash
# Plays the same song through the native build of the engine and through its Windows build (under
# Wine) and fails unless both give the same elapsed-time bits on every tick, for both steps.
set -euo pipefail
native=$1
windows=$2
here=$(cd "$(dirname "$0")" && pwd)
for step in 1 4; do
  for lookahead in "" --no-lookahead; do
    if ! diff -q <("$native" --bits --step "$step" $lookahead) \
                 <("$here/wine-exec.sh" "$windows" --bits --step "$step" $lookahead | tr -d '\r') \
                 >/dev/null; then
      echo "native and Windows builds differ (step $step $lookahead)" >&2
      exit 1
    fi
    echo "step $step ${lookahead:-(look ahead)}: $("$native" --bits --step "$step" $lookahead | wc -l) ticks identical"
  done
done
