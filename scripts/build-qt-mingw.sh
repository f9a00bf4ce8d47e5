#!/usr/bin/env bash
# Cross-builds Qt for 64-bit Windows (mingw-w64) from Debian's own qt6-base source package, the same
# version as the Linux build, into a cache outside the clone. Runs once per machine: a complete build
# in the cache is kept. Prints the install prefix on standard output, its progress on standard
# error.
# TARSEL_CACHE sets the cache folder (debian-source.sh).
set -euo pipefail
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain=$scripts/../cmake/mingw-w64-x86_64.cmake

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)   # e.g. 6.4.2+dfsg-10
upstream=${version%%+*}
source "$scripts/debian-source.sh"
cached_build_begin qt qt6-base "$version"

echo "Configuring Qt $upstream for mingw-w64" >&2
cmake -S src -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d1_1=OFF -DFEATURE_tabletevent=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_icu=OFF -DFEATURE_jpeg=OFF -DFEATURE_freetype=ON \
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_doubleconversion=OFF >configure.log 2>&1 ||
    { tail -40 configure.log >&2; exit 1; }

echo "Building Qt (10 to 25 minutes on 2 cores)" >&2
# ninja's own "[done/total]" count, whatever the caller's NINJA_STATUS says.
NINJA_STATUS='[%f/%t] ' cmake --build build --parallel "$(nproc)" 2>&1 |
    bash "$scripts/build-progress.sh" "Building Qt" build.log || { tail -40 build.log >&2; exit 1; }
cmake --install build --strip >install.log 2>&1 || { tail -40 install.log >&2; exit 1; }
cached_build_end
