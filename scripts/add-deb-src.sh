#!/usr/bin/env bash
# Makes `apt-get source PACKAGE=VERSION` work: where apt knows no source for it, adds deb-src entries
# for the Debian archive apt already uses and updates apt's lists.
#   add-deb-src.sh PACKAGE=VERSION
set -euo pipefail
apt-get source --print-uris "$1" >/dev/null 2>&1 && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo -n); fi
echo "Adding deb-src entries for the Debian archive apt already uses" >&2
list=/etc/apt/sources.list.d/tarsel-deb-src.sources
: | "${sudo[@]}" tee "$list" >/dev/null
for f in /etc/apt/sources.list.d/*.sources; do
    [ "$f" = "$list" ] && continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types:/ && /debian/ {
             sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" | "${sudo[@]}" tee -a "$list" >/dev/null
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list |
        "${sudo[@]}" tee /etc/apt/sources.list.d/tarsel-deb-src.list >/dev/null
fi
"${sudo[@]}" apt-get update -qq
