#!/usr/bin/env bash
# Proves that the README's two commands work on a bare Debian 12 machine: in a minimal Debian 12
# root (debootstrap, minbase, from the archive that this machine's own sources name, with only a
# deb822 sources file), with this machine's 32-bit handlers taken away, runs `tools/run.sh` (which
# must write out/sync.png) and then `tools/test.sh` on the committed tree, so the set-up in the
# root has to install everything and register qemu itself. Puts everything back at the end, on
# failure and on a signal too, and prints how long each stage took.
#
#   tools/bare-check.sh        (as root, or through sudo)
#
# Keeps the fresh root as a tarball and the root's downloaded packages between runs, in
# $TEMPOTALLY_BARE_CACHE (default ~/.cache/tempotally-bare).
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || exec sudo -- "$0" "$@"

release=bookworm
cache=${TEMPOTALLY_BARE_CACHE:-$HOME/.cache/tempotally-bare}
binfmt=/proc/sys/fs/binfmt_misc
inside_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

work=""
rootfs=""
saved_handlers=()
handlers_taken=0
watcher=""
times=()
stage_name=""
stage_start=0

stage() {
  stage_end
  stage_name=$1
  stage_start=$(date +%s)
  echo "== bare check: $stage_name"
}
stage_end() {
  [ -n "$stage_name" ] || return 0
  times+=("$(printf '%-44s %5d s' "$stage_name" $(($(date +%s) - stage_start)))")
  stage_name=""
}

# A binfmt handler as the register line that makes it again.
handler_line() {
  local entry=$1 name interpreter flags offset magic mask
  name=$(basename "$entry")
  interpreter=$(sed -n 's/^interpreter //p' "$entry")
  flags=$(sed -n 's/^flags: *//p' "$entry")
  offset=$(sed -n 's/^offset //p' "$entry")
  magic=$(sed -n 's/^magic //p' "$entry" | sed 's/../\\x&/g')
  mask=$(sed -n 's/^mask //p' "$entry" | sed 's/../\\x&/g')
  echo ":$name:M:$offset:$magic:$mask:$interpreter:$flags"
}
# The handlers that take 32-bit x86 programs: ELF class 1, machine 3.
i386_handlers() {
  local entry
  for entry in "$binfmt"/*; do
    case $(basename "$entry") in register | status) continue ;; esac
    awk '$1 == "magic" && substr($2, 1, 10) == "7f454c4601" && substr($2, 37, 4) == "0300" { found = 1 }
         END { exit !found }' "$entry" 2>/dev/null && echo "$entry"
  done
  return 0
}
take_handlers() {
  local entry
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  handlers_taken=1
  for entry in $(i386_handlers); do
    saved_handlers+=("$(handler_line "$entry")")
    echo -1 >"$entry"
  done
}
restore_handlers() {
  [ "$handlers_taken" -eq 1 ] || return 0
  local entry line
  # The root's own, which hold the root's qemu open, make way for this machine's.
  for entry in $(i386_handlers); do echo -1 >"$entry" || true; done
  for line in "${saved_handlers[@]}"; do printf '%s' "$line" >"$binfmt/register" || true; done
  handlers_taken=0
  echo "== bare check: 32-bit handlers restored (${#saved_handlers[@]})"
}

# The root is a mount of its own (a bind onto itself), so that one recursive unmount takes it and
# everything below it; a lazy one detaches what is still busy.
unmount_all() {
  [ -n "$rootfs" ] && mountpoint -q "$rootfs" || return 0
  umount --recursive "$rootfs" 2>/dev/null || umount --recursive --lazy "$rootfs"
}
cleanup() {
  local status=$?
  trap - EXIT
  trap '' INT TERM
  stage_end
  [ -z "$watcher" ] || kill "$watcher" 2>/dev/null || true
  restore_handlers
  if [ -n "$work" ] && [ -d "$work" ]; then
    # Processes the check left running in the root (an X server, a wineserver) hold its mounts.
    for pid in $(ls /proc | grep -x '[0-9]*'); do
      [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$work/rootfs" ] && kill -9 "$pid" 2>/dev/null
    done
    unmount_all
    rm -rf --one-file-system "$work"
  fi
  echo "== bare check: stage times"
  printf '   %s\n' "${times[@]}"
  if [ "$status" -eq 0 ]; then echo "== bare check passed"; else echo "== bare check FAILED (status $status)"; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The handlers and the cache are the machine's: one check at a time.
mkdir -p "$cache"
exec 9>"$cache/lock"
flock -n 9 || { echo "bare check: another bare check is running" >&2; exit 1; }

stage "tools on this machine"
if ! command -v debootstrap >/dev/null; then
  # A list that a mirror in mid-sync fails to serve is no matter here: debootstrap is one package
  # for every architecture, and the install says so if it cannot be had.
  apt-get update -qq >/dev/null 2>&1 || echo "bare check: some package lists could not be refreshed" >&2
  apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi
archives=$("$tree/tools/apt-sources.sh" "$release")
read -r mirror keyring <<<"$archives" || true
[ -n "${mirror:-}" ] || { echo "bare check: no configured source serves $release" >&2; exit 1; }
echo "   mirror from this machine's sources: $mirror"

work=$(mktemp -d /var/tmp/tempotally-bare.XXXXXX)
rootfs=$work/rootfs
mkdir -p "$rootfs" "$cache/archives"
mount --bind "$rootfs" "$rootfs"

stage "fresh $release root"
tarball=$cache/$release-minbase.tar
if [ -f "$tarball" ] && [ "$(cat "$cache/$release-minbase.mirror" 2>/dev/null)" = "$mirror" ]; then
  tar -C "$rootfs" -xf "$tarball"
  echo "   from $tarball"
else
  debootstrap --variant=minbase ${keyring:+--keyring="$keyring"} "$release" "$rootfs" "$mirror" \
    >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
  # Only deb822 sources, as a fresh machine of this release has.
  rm -f "$rootfs/etc/apt/sources.list"
  printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' \
    "$mirror" "$release" "$release" /usr/share/keyrings/debian-archive-keyring.gpg \
    >"$rootfs/etc/apt/sources.list.d/debian.sources"
  chroot "$rootfs" apt-get clean
  # Whatever debootstrap left mounted inside stays out of the tarball.
  tar --one-file-system -C "$rootfs" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  echo "$mirror" >"$cache/$release-minbase.mirror"
fi
cp /etc/resolv.conf "$rootfs/etc/resolv.conf"

stage "committed tree laid into the root"
mkdir -p "$rootfs/src/tempotally"
git -C "$tree" archive --format=tar HEAD | tar -C "$rootfs/src/tempotally" -xf -

# The kernel's interfaces, this machine's /tmp (X servers find each other's sockets and locks
# there) and the root's package downloads, kept between runs.
mount -t proc proc "$rootfs/proc"
mount -t sysfs sysfs "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
if mountpoint -q /dev/shm; then mount --bind /dev/shm "$rootfs/dev/shm"; fi
mount --bind /tmp "$rootfs/tmp"
mount --bind "$cache/archives" "$rootfs/var/cache/apt/archives"

# In the background and waited for, so that a signal reaches the clean-up at once.
inside() {
  chroot "$rootfs" /usr/bin/env -i HOME=/root PATH="$inside_path" LANG=C.UTF-8 TERM=dumb \
    /bin/bash -c "cd /src/tempotally && $1" &
  wait $!
}

stage "32-bit handlers taken away"
take_handlers
echo "   taken: ${#saved_handlers[@]}"
# Until the root's set-up registers its own, no new 32-bit program starts on this machine.
taken_at=$(date +%s)
(
  while [ -z "$(i386_handlers)" ]; do sleep 1; done
  echo "== bare check: the root's set-up registered 32-bit handlers $(($(date +%s) - taken_at)) s after they were taken"
) &
watcher=$!
if inside 'ls /usr/lib/wine >/dev/null 2>&1'; then
  echo "bare check: the root already holds Wine" >&2
  exit 1
fi

stage "tools/run.sh in the root"
inside 'tools/run.sh'
[ -s "$rootfs/src/tempotally/out/sync.png" ] || { echo "bare check: tools/run.sh wrote no out/sync.png" >&2; exit 1; }
# The root's set-up installs qemu only when it found no way to run 32-bit programs. With no
# handler registered, that can only be a kernel that runs them itself; the qemu path then goes
# unchecked on this machine, which is said, not failed.
if ! inside 'dpkg-query -W qemu-user-static >/dev/null 2>&1'; then
  if [ -z "$(i386_handlers)" ] && inside '/usr/lib/wine/wineserver32 --version >/dev/null 2>&1'; then
    echo "   this kernel runs 32-bit programs itself: the set-up's qemu path is not exercised here"
  else
    echo "bare check: the root's set-up found 32-bit programs running without it" >&2
    exit 1
  fi
fi

stage "tools/test.sh in the root"
inside 'tools/test.sh'
stage_end
