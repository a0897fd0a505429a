#!/usr/bin/env bash
# Builds the release (the release preset) and packs the archive a user unzips into the host's
# folder, then tests it as shipped: the black-box suite runs against the DLL taken out of the
# archive, and the archive's listing and DLL are checked against what that suite ran. Prints the
# archive and the DLL's sizes.
#
#   tools/package.sh        (archive in build/release/package/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root"
build="$root/build/release"
echo "== release build (MinSizeRel) in $build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "== packing and testing the archive as shipped"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" tools/with-wine-display.sh ctest --preset release
dll="$build/plugin/ORVA Tempotally.dll"
text=$((16#$(i686-w64-mingw32-objdump -h "$dll" | awk '$2 == ".text" { print $3 }')))
echo "== shipped: $(ls "$build"/package/*.zip)"
echo "   ORVA Tempotally.dll: $(stat -c %s "$dll") bytes, .text $text bytes"
