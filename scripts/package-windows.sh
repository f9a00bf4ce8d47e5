#!/usr/bin/env bash
# Packs the Windows program folder as an MSI and as a zip, as administrators deploy it.
#   package-windows.sh SOURCE_DIR PROGRAM_FOLDER VERSION OUT_DIR
# Writes OUT_DIR/TarselCopyFile-VERSION-x64.msi and .zip, and keeps the folder they were made from,
# OUT_DIR/TarselCopyFile-VERSION-x64/TarselCopyFile, laid out as the MSI installs it: the program
# folder and the Group Policy templates in policy/.
# With SIGN_PFX (a PKCS#12 file with the code-signing key and certificate) and SIGN_PASSWORD_FILE
# (its password on the first line), the programs and then the MSI are signed with Authenticode;
# SIGN_TIMESTAMP (a time-stamp server's URL) adds a time stamp, so the signatures outlive the
# certificate. HELP_LINK (a URL: your help desk's page for the program) is the help link of its entry
# in Apps & features. Nothing is left under the packages' names when a step fails.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 SOURCE_DIR PROGRAM_FOLDER VERSION OUT_DIR" >&2; exit 2; }
source=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
version=$3
mkdir -p "$4"
out=$(cd "$4" && pwd)

name=TarselCopyFile-$version-x64
work=$out/$name
rm -rf "$work" "$out/$name.msi" "$out/$name.zip"
mkdir -p "$work"
folder=$work/TarselCopyFile
cp -R "$dist" "$folder"
cp -R "$source/packaging/windows/policy" "$folder/policy"

# The MSI installs every file that the zip carries: a file of the folder that no component of the
# package names (a new DLL, a licence) fails here, not on the desks that install the MSI.
wxs=$source/packaging/windows/TarselCopyFile.wxs
unnamed=$(cd "$folder" && find . -type f | sed 's|^\./||' | while IFS= read -r file; do
    grep -qF "Source=\"$file\"" "$wxs" || echo "$file"
done)
if [ -n "$unnamed" ]; then
    echo "Files in the program folder that $wxs does not install:" $unnamed >&2
    exit 1
fi

signing=()
if [ -n "${SIGN_PFX:-}" ]; then
    for file in "$SIGN_PFX" "${SIGN_PASSWORD_FILE:?SIGN_PASSWORD_FILE names the file with the password of SIGN_PFX}"; do
        [ -r "$file" ] || { echo "Cannot read $file" >&2; exit 1; }
    done
    command -v osslsigncode >/dev/null || { echo "osslsigncode is missing: make deps installs it" >&2; exit 1; }
    signing=(-pkcs12 "$SIGN_PFX" -readpass "$SIGN_PASSWORD_FILE" -h sha256 -n TarselCopyFile)
    [ -z "${SIGN_TIMESTAMP:-}" ] || signing+=(-ts "$SIGN_TIMESTAMP")
elif [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    echo "SIGN_PASSWORD_FILE without SIGN_PFX: nothing to sign with" >&2
    exit 1
fi
sign() {
    [ ${#signing[@]} -gt 0 ] || return 0
    osslsigncode sign "${signing[@]}" -in "$1" -out "$1.signed" >/dev/null
    mv -f "$1.signed" "$1"
}

sign "$folder/TarselCopyFile.exe"
sign "$folder/tarselcopy.exe"
sign "$folder/tarselcopyw.exe"

# wixl finds the files relative to the folder it runs in, and takes no absolute path.
icon=$(realpath --relative-to="$folder" "$source/app/resources/app.ico")
(cd "$folder" && wixl --arch x64 -D "Version=$version" -D "Icon=$icon" -D "HelpLink=${HELP_LINK:-}" \
    -o "$work/$name.msi" \
    "$source/packaging/windows/TarselCopyFile.wxs")
sign "$work/$name.msi"

(cd "$work" && cmake -E tar cf "$name.zip" --format=zip TarselCopyFile)

mv -f "$work/$name.msi" "$out/$name.msi"
mv -f "$work/$name.zip" "$out/$name.zip"
echo "$out/$name.msi"
echo "$out/$name.zip"
