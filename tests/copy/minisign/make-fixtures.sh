#!/usr/bin/env bash
# Makes the signature tests' fixtures once with Debian's minisign 0.11, for the systems where the
# tests cannot start minisign themselves (Windows, Wine). New keys each time: run it only to
# replace every fixture at once.
#   make-fixtures.sh   (in this folder)
set -euo pipefail
cd "$(dirname "$0")"
password='correct horse battery staple'
rm -f ./*.key ./*.pub ./*.minisig ./*.sha256

minisign -G -W -f -p unprotected.pub -s unprotected.key >/dev/null
minisign -G -W -f -p other.pub -s other.key >/dev/null
rm other.key
printf '%s\n%s\n' "$password" "$password" | minisign -G -f -p protected.pub -s protected.key >/dev/null

# A release's checksum, as the publish writes it, and a long one, which the legacy form signs whole.
printf '%s  sales.accdb\n' ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad \
    > sales.accdb.sha256
head -c 32768 /dev/zero | tr '\0' 'a' > long.sha256

comment='timestamp:1765300000 file:sales.accdb release:42'
minisign -S -s unprotected.key -m sales.accdb.sha256 -t "$comment" >/dev/null
minisign -S -l -s unprotected.key -m sales.accdb.sha256 -x legacy.minisig -t "$comment" >/dev/null
minisign -S -l -s unprotected.key -m long.sha256 -t "$comment" >/dev/null
printf '%s\n' "$password" |
    minisign -S -s protected.key -m sales.accdb.sha256 -x protected.minisig -t "$comment" >/dev/null
minisign -S -s unprotected.key -m sales.accdb.sha256 -x default-comment.minisig >/dev/null
