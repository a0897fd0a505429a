#!/usr/bin/env bash
# Builds and runs every test: the native core (plain, then under ASan and UBSan) and the Windows
# side (the plug-in DLL, the bridge and the test host) through Wine; then packs the release and
# runs the black-box suite against the DLL out of the archive (tools/package.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
jobs=$(nproc)

echo "== native core"
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native" -j "$jobs"
ctest --test-dir "$root/build/native" --output-on-failure --no-tests=error

echo "== native core under ASan and UBSan"
cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DTEMPOTALLY_SANITIZE=ON >/dev/null
cmake --build "$root/build/asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure --no-tests=error

echo "== shared engine under ThreadSanitizer"
cmake -S "$root" -B "$root/build/tsan" -DCMAKE_BUILD_TYPE=Debug -DTEMPOTALLY_TSAN=ON >/dev/null
cmake --build "$root/build/tsan" -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build/tsan" --output-on-failure --no-tests=error

echo "== Windows side, through Wine"
cmake -S "$root" -B "$root/build/win" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTEMPOTALLY_NATIVE_SYNCTABLE="$root/build/native/tools/synctable/synctable" >/dev/null
cmake --build "$root/build/win" -j "$jobs"
WINEPREFIX="$root/build/wine-prefix" "$root/tools/with-wine-display.sh" \
  ctest --test-dir "$root/build/win" --output-on-failure --no-tests=error
echo "== the release archive, tested as shipped"
"$root/tools/package.sh"
echo "== all tests passed"
