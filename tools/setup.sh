#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine: the mingw-w64 i686 compiler,
# Wine (32-bit loader plus the 64-bit server), a virtual X display, CMake, the Google test and
# benchmark libraries and the header-only stb (PNG output). Where the kernel cannot run 32-bit Linux
# programs itself (IA-32 emulation switched off), the 32-bit Wine loader runs through qemu-user,
# registered with binfmt_misc. Packages named as arguments are installed too (tools/fuzz.sh: clang).
# Idempotent and quiet when everything is already in place.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
export DEBIAN_FRONTEND=noninteractive

have() { command -v "$1" >/dev/null 2>&1; }
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  have sudo || { echo "setup: run this as root, or install sudo" >&2; exit 1; }
  SUDO="sudo"
fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

AptUpdateTries=3
AptRetrySeconds=10
apt_updated=0
apt_update() {
  [ "$apt_updated" -eq 0 ] || return 0
  apt_updated=1
  # A mirror in the middle of a sync serves an index that fails its check; apt then keeps the
  # lists it had. Try again a few times, then go on: the install says clearly what it lacks.
  local try errors
  for try in $(seq "$AptUpdateTries"); do
    errors=$($SUDO apt-get update -qq 2>&1 >/dev/null) && ! grep -q '^[EW]:' <<<"$errors" && break
    [ "$try" -lt "$AptUpdateTries" ] && sleep "$AptRetrySeconds"
  done
  if grep -q '^E:' <<<"$errors"; then
    echo "setup: apt-get update could not refresh every package list; installing from what it has:" >&2
    grep '^E:' <<<"$errors" | head -3 >&2
    apt_lists_partial=1
  fi
}
apt_lists_partial=0
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
apt_install() {
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  # With one architecture's list of a suite missing (the security suite's i386 list, say), the
  # other architecture's newer versions cannot be matched; the release's own suite serves both.
  [ "$apt_lists_partial" -eq 1 ] && [ -n "$codename" ] || return 1
  echo "setup: installing again from $codename, whose lists are complete" >&2
  $SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "$@" >/dev/null
}

# Boost.Lockfree (header only) serves the engine's ring of waiting ticks on both targets. Without
# the 32-bit X Input library Wine drops every cursor clip at once; without the Xinerama library it
# sees one monitor on a display of several heads, and Wine's desktop process, which counts the
# monitors for every program, is 64-bit while the programs are 32-bit.
need=()
for package in g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake make g++ xvfb xauth \
  googletest libgtest-dev libbenchmark-dev libstb-dev libboost-dev wine wine32:i386 wine64 \
  libxi6:i386 libxinerama1:amd64 libxinerama1:i386 "$@"; do
  installed "$package" || need+=("$package")
done

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  apt_update
  apt_install "${need[@]}"
fi

# Can this kernel run the 32-bit Wine loader directly?
if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  exit 0
fi

# It cannot: run 32-bit programs through qemu-user. The qemu of Debian 12 spends about a minute
# reserving Wine's address space, so take the one from the release's backports suite (10.x), which
# takes none.
qemu_ok() {
  have qemu-i386-static && [ "$(qemu-i386-static --version | sed -n 's/.*version \([0-9]*\).*/\1/p' | head -n1)" -ge 8 ]
}

if ! qemu_ok; then
  [ -n "$codename" ] || { echo "setup: cannot tell the release's code name" >&2; exit 1; }
  suite="$codename-backports"
  echo "setup: installing qemu-user-static from $suite for 32-bit programs" >&2
  served=$("$here/apt-sources.sh" "$suite")
  if [ -z "$served" ]; then
    # The backports suite lives in the archive that serves the release itself.
    archives=$("$here/apt-sources.sh" "$codename")
    read -r uri keyring <<<"$archives" || true
    [ -n "${uri:-}" ] || { echo "setup: no configured source serves $codename" >&2; exit 1; }
    {
      printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$uri" "$suite"
      [ -z "${keyring:-}" ] || printf 'Signed-By: %s\n' "$keyring"
    } | $SUDO tee /etc/apt/sources.list.d/tempotally-backports.sources >/dev/null
    apt_updated=0
  fi
  apt_update
  $SUDO apt-get install -y -qq --no-install-recommends -t "$suite" qemu-user-static >/dev/null
fi

binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
# The F flag opens the interpreter now, so a handler registered before an upgrade keeps the old qemu.
for name in tempotally-i386 tempotally-i386-pie; do
  [ -e "$binfmt/$name" ] && echo -1 | $SUDO tee "$binfmt/$name" >/dev/null
done
elf_head='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
elf_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":tempotally-i386:M::${elf_head}\x02\x00\x03\x00:${elf_mask}:/usr/bin/qemu-i386-static:F" | $SUDO tee "$binfmt/register" >/dev/null
echo ":tempotally-i386-pie:M::${elf_head}\x03\x00\x03\x00:${elf_mask}:/usr/bin/qemu-i386-static:F" | $SUDO tee "$binfmt/register" >/dev/null
/usr/lib/wine/wineserver32 --version >/dev/null 2>&1 || { echo "setup: 32-bit programs still do not run" >&2; exit 1; }
