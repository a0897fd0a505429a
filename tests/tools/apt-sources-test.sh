#!/usr/bin/env bash
# The set-up's reading of APT sources, against fixture folders of each layout: the archives it
# finds for a suite, in order ("|" between lines).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/apt-sources
reader=$here/../../tools/apt-sources.sh

# layout (fixture folder)  suite  expected
cases=(
  "one-line bookworm http://one.example/debian|http://two.example/debian /usr/share/keyrings/one.gpg"
  "one-line bookworm-backports http://extra.example/apt /etc/apt/keyrings/extra.gpg"
  "one-line bookworm-security "
  "deb822 bookworm http://one.example/debian /usr/share/keyrings/debian-archive-keyring.gpg|http://two.example/debian /usr/share/keyrings/debian-archive-keyring.gpg"
  "deb822 bookworm-security http://one.example/debian-security"
  "deb822 bookworm-backports http://vendor.example/apt"
  "both bookworm http://one.example/debian|http://two.example/debian /usr/share/keyrings/debian-archive-keyring.gpg"
  "both bookworm-backports http://two.example/debian /usr/share/keyrings/debian-archive-keyring.gpg"
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
