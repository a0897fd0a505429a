#!/usr/bin/env bash
# Builds the native tools (the native preset) and prints the sync table; arguments go to synctable
# (--summary: the README's table of the sync set; --help lists the others).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" && cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target synctable >/dev/null
"$root/build/native/tools/synctable/synctable" "$@"
