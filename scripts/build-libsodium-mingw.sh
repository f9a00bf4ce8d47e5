#!/usr/bin/env bash
# Cross-builds libsodium for 64-bit Windows (mingw-w64) from Debian's own source package, the same
# version as the Linux build, as a static library into a cache outside the clone. Runs once per
# machine: a complete build in the cache is kept. Prints the install prefix on the last line of
# standard output, its progress on standard error.
# TARSEL_CACHE sets the cache folder (debian-source.sh).
set -euo pipefail
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

version=$(dpkg-query -W -f='${Version}' libsodium-dev)   # e.g. 1.0.18-1+deb12u1
source "$scripts/debian-source.sh"
cached_build_begin libsodium libsodium "$version"

# Static: nothing more to ship beside the program than the licence. The posix compiler is the one
# the program is built with. Not --enable-minimal, which leaves out scrypt.
echo "Configuring libsodium for mingw-w64" >&2
# Debian's source is the upstream repository's, without a generated configure script.
(cd src && autoreconf -fi && ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
    --disable-shared --enable-static --prefix="$prefix") >configure.log 2>&1 ||
    { tail -40 configure.log >&2; exit 1; }
echo "Building libsodium (2 to 4 minutes on 2 cores)" >&2
make -C src -j2 >build.log 2>&1 || { tail -40 build.log >&2; exit 1; }
make -C src install >install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
# Its licence, which the program folder and the MSI carry, as the library is linked in.
cp src/LICENSE "$prefix/LICENSE"
cached_build_end
