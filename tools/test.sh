#!/usr/bin/env bash
# Builds and runs every test through the presets: the native core (plain, then under ASan and
# UBSan), the shared engine under ThreadSanitizer, and the Windows side (the plug-in DLL, the bridge
# and the test host) through Wine; then packs the release and runs the black-box suite against the
# DLL out of the archive (tools/package.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root"
build() {
  echo "== $1"
  cmake --preset "$2" >/dev/null
  cmake --build --preset "$2" -j "$(nproc)"
}
build "native core" native
ctest --preset native
build "native core under ASan and UBSan" asan
ctest --preset asan
build "shared engine under ThreadSanitizer" tsan
ctest --preset tsan
build "Windows side, through Wine" win
WINEPREFIX="$root/build/wine-prefix" tools/with-wine-display.sh ctest --preset win
echo "== the release archive, tested as shipped"
tools/package.sh
echo "== all tests passed"
