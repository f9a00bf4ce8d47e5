#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only those missing.
#   install-deps.sh            the Linux build and its tests
#   install-deps.sh windows    the Windows cross build and its tests under Wine
set -euo pipefail

packages=(
    cmake ninja-build g++ make        # the build
    qt6-base-dev libgl-dev            # Qt 6 Core, Widgets and Test; Qt6Gui's CMake config asks for OpenGL
    libssl-dev                        # SHA-256 through libcrypto, on the processor's SHA instructions
    libsodium-dev                     # Ed25519, BLAKE2b and scrypt for release signatures (minisign's own library)
    minisign                          # the tests check that minisign and the tool read each other's signatures
    fonts-dejavu-core                 # a sans-serif face for the offscreen platform, and Arabic glyphs
    fonts-liberation                  # Liberation Sans Narrow for "MS Sans Serif": dates fit the date boxes
    fonts-vlgothic                    # Japanese glyphs: the layout test measures a ja_JP date as drawn
    strace attr e2fsprogs util-linux  # fault injection, xattrs, chattr, setpriv/unshare in the scenario tests
    dpkg-dev                          # dpkg-shlibdeps finds the .deb's dependencies (make package)
    desktop-file-utils appstream      # the install test validates the menu entry and the metainfo
)
if [ "${1:-}" = windows ]; then
    packages+=(
        g++-mingw-w64-x86-64-posix    # the cross compiler; the posix thread model is the one Qt needs
        binutils-mingw-w64-x86-64     # windres and windmc: version resources and the Event Log's message table
        dpkg-dev xz-utils             # apt-get source unpacks Debian's qt6-base and libsodium source packages
        autoconf automake libtool     # libsodium's Debian source comes without its configure script
        qt6-base-dev-tools            # moc, rcc and uic run on this machine for the cross build
        wine wine64                   # runs the cross-built tests
        wixl msitools                 # make msi builds the MSI; the signing test unpacks it
        osslsigncode openssl          # Authenticode signing (make msi SIGN_PFX=...); the test's certificate
    )
fi

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo=(sudo -n)
else
    sudo=(false)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "${sudo[0]:-}" = false ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
