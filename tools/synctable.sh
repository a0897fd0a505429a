#!/usr/bin/env bash
# Builds the native tools and prints the sync table; arguments go to synctable
# (--every N, --step 1|4, --no-lookahead, --summary: the README's table of the sync set).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native" -j "$(nproc)" --target synctable >/dev/null
"$root/build/native/tools/synctable/synctable" "$@"
