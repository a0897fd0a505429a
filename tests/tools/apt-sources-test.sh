#!/usr/bin/env bash
# The set-up's reading of APT sources, against fixture folders of each layout: the archives it
# finds for a suite, in order ("|" between lines).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/apt-sources
reader=$here/../../tools/apt-sources.sh

# layout (fixture folder)  suite  expected
cases=(
  "one-line bookworm file:/srv/mirrors/one/debian|file:/srv/mirrors/two/debian /usr/share/keyrings/one.gpg"
  "one-line bookworm-backports file:/srv/mirrors/extra/apt /etc/apt/keyrings/extra.gpg"
  "one-line bookworm-security "
  "deb822 bookworm file:/srv/mirrors/one/debian /usr/share/keyrings/debian-archive-keyring.gpg|file:/srv/mirrors/two/debian /usr/share/keyrings/debian-archive-keyring.gpg"
  "deb822 bookworm-security file:/srv/mirrors/one/debian-security"
  "deb822 bookworm-backports file:/srv/mirrors/vendor/apt"
  "both bookworm file:/srv/mirrors/one/debian|file:/srv/mirrors/two/debian /usr/share/keyrings/debian-archive-keyring.gpg"
  "both bookworm-backports file:/srv/mirrors/two/debian /usr/share/keyrings/debian-archive-keyring.gpg"
  "none bookworm "
)
failed=0
for entry in "${cases[@]}"; do
  read -r layout suite expected <<<"$entry" || true
  if ! got=$("$reader" "$suite" "$fixtures/$layout" | paste -sd '|'); then
    echo "FAIL $layout $suite: the reader failed" >&2
    failed=1
  elif [ "$got" != "${expected:-}" ]; then
    echo "FAIL $layout $suite: got '$got', expected '${expected:-}'" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "${#cases[@]} cases passed"
exit "$failed"
