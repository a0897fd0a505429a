#!/usr/bin/env bash
# Prints the archives that the machine's APT sources name for one suite, one per line:
# "URI KEYRING" (KEYRING empty when the entry names none). Reads the one-line files
# (sources.list, sources.list.d/*.list) and the deb822 files (sources.list.d/*.sources), whichever
# exist; binary entries only, disabled and commented ones skipped.
#   tools/apt-sources.sh SUITE [APT_FOLDER]      (default /etc/apt)
set -euo pipefail
suite=${1:?usage: apt-sources.sh SUITE [APT_FOLDER]}
apt=${2:-/etc/apt}

one_line=() deb822=()
for f in "$apt/sources.list" "$apt"/sources.list.d/*.list; do [ -f "$f" ] && one_line+=("$f"); done
for f in "$apt"/sources.list.d/*.sources; do [ -f "$f" ] && deb822+=("$f"); done

# deb [ option=value ... ] URI SUITE COMPONENT... (/dev/null: awk reads no standard input)
awk -v want="$suite" '
  { sub(/#.*/, "") }
  $1 == "deb" {
    keyring = match($0, /signed-by=[^] \t]*/) ? substr($0, RSTART + 10, RLENGTH - 10) : ""
    sub(/^[ \t]*deb[ \t]+(\[[^]]*\][ \t]*)?/, "")
    if ($2 == want) print $1 (keyring == "" ? "" : " " keyring)
  }' "${one_line[@]}" /dev/null

# Stanzas of "Field: value" lines, separated by blank lines; a line that starts with white space
# continues the field above it. Field names are case-insensitive.
awk -v want="$suite" '
  function flush(   n, k, u, keyring) {
    # A key file by path; a key written inline into the field is left to the system keyrings.
    keyring = f["signed-by"] ~ /^\// ? f["signed-by"] : ""
    sub(/ .*/, "", keyring)
    if (index(" " f["suites"] " ", " " want " ") && (" " f["types"] " ") ~ / deb / &&
        tolower(f["enabled"]) != "no") {
      n = split(f["uris"], u, " ")
      for (k = 1; k <= n; k++) print u[k] (keyring == "" ? "" : " " keyring)
    }
    split("", f); field = ""
  }
  FNR == 1 { flush() }
  { gsub(/\t/, " ") }
  /^#/ { next }
  /^ *$/ { flush(); next }
  /^ / { if (field != "") f[field] = f[field] " " $0; next }
  {
    field = tolower($0); sub(/:.*/, "", field)
    value = $0; sub(/^[^:]*: */, "", value)
    f[field] = value
  }
  END { flush() }' "${deb822[@]}" /dev/null
