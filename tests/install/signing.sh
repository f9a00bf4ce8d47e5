#!/usr/bin/env bash
# Packs as `make msi SIGN_PFX=... SIGN_PASSWORD_FILE=...` does, with a throw-away self-signed
# certificate, and checks every signature: the MSI, the programs in the packed folder, in the zip
# and inside the MSI. A wrong password or a missing password file packs nothing.
#   signing.sh SOURCE_DIR PROGRAM_FOLDER VERSION
set -euo pipefail
source=$1
dist=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=TarselCopyFile test signer" \
    -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
printf 'a pass phrase with blanks\n' >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
    -passout "file:$work/password"

pack() { # OUT_DIR, with SIGN_* from the caller
    bash "$source/scripts/package-windows.sh" "$source" "$dist" "$version" "$1" >/dev/null
}
verify() {
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.txt" 2>&1 ||
        { cat "$work/verify.txt"; fail "$1 carries no valid signature of the test's certificate"; }
}

name=TarselCopyFile-$version-x64
SIGN_PFX=$work/signer.pfx SIGN_PASSWORD_FILE=$work/password pack "$work/out"
verify "$work/out/$name.msi"
mkdir "$work/zip" "$work/msi"
(cd "$work/zip" && cmake -E tar xf "$work/out/$name.zip")
msiextract -C "$work/msi" "$work/out/$name.msi" >/dev/null
for exe in TarselCopyFile.exe tarselcopy.exe tarselcopyw.exe; do
    verify "$work/out/$name/TarselCopyFile/$exe"
    verify "$work/zip/TarselCopyFile/$exe"
    found=$(find "$work/msi" -name "$exe")
    [ -n "$found" ] || fail "the MSI holds no $exe"
    verify "$found"
done

# The check itself tells an unsigned program apart.
if osslsigncode verify -CAfile "$work/cert.pem" -in "$dist/tarselcopy.exe" >/dev/null 2>&1; then
    fail "an unsigned program passed the check"
fi

printf 'not the pass phrase\n' >"$work/wrong"
if SIGN_PFX=$work/signer.pfx SIGN_PASSWORD_FILE=$work/wrong pack "$work/wrong-out" 2>/dev/null; then
    fail "packing went on with a wrong password"
fi
if SIGN_PFX=$work/signer.pfx pack "$work/no-password" 2>/dev/null; then
    fail "packing went on without a password file"
fi
for out in wrong-out no-password; do
    [ ! -e "$work/$out/$name.msi" ] && [ ! -e "$work/$out/$name.zip" ] ||
        fail "a failed signing left a package under its name in $out"
done
echo "signatures verified: the MSI and both programs in the folder, the zip and the MSI"
