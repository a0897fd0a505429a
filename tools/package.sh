#!/usr/bin/env bash
# Builds the release and packs the archive a user unzips into the host's folder, then tests it as
# shipped: the black-box suite runs against the DLL taken out of the archive, and the archive's
# listing and DLL are checked against what that suite ran. Prints the archive and the DLL's sizes.
#
#   tools/package.sh        (archive in build/release/package/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
build="$root/build/release"
config=MinSizeRel

echo "== release build ($config) in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=$config -DTEMPOTALLY_PACKAGE=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
# The DLL, and the programs that test it as shipped.
cmake --build "$build" -j "$(nproc)" --target tempotally_dll standin_player blackbox_plugin \
  blackbox_sync blackbox_statecall module_resources

echo "== packing and testing the archive as shipped"
WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" "$root/tools/with-wine-display.sh" \
  ctest --test-dir "$build" -L shipped --output-on-failure --no-tests=error

dll="$build/plugin/ORVA Tempotally.dll"
text=$((16#$(i686-w64-mingw32-objdump -h "$dll" | awk '$2 == ".text" { print $3 }')))
echo "== shipped: $(ls "$build"/package/*.zip)"
echo "   ORVA Tempotally.dll: $(stat -c %s "$dll") bytes, .text $text bytes"
