#!/usr/bin/env bash
# Builds and runs every test through the presets: the native core (plain, then under ASan and
# UBSan), the shared engine under ThreadSanitizer, and the Windows side (the plug-in DLL, the bridge
# and the test host) through Wine; then packs the release and runs the black-box suite against the
# DLL out of the archive (tools/package.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cd "$root"
# Configures, builds and tests one preset; a command given after the preset runs the tests.
check() {
  echo "== $1"
  cmake --preset "$2" >/dev/null
  cmake --build --preset "$2" -j "$(nproc)"
  "${@:3}" ctest --preset "$2"
}
check "native core" native
check "native core under ASan and UBSan" asan
check "shared engine under ThreadSanitizer" tsan
WINEPREFIX="$root/build/wine-prefix" check "Windows side, through Wine" win tools/with-wine-display.sh
echo "== the release archive, tested as shipped"
tools/package.sh
echo "== all tests passed"
