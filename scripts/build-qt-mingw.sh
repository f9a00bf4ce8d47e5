#!/usr/bin/env bash
# Cross-builds Qt for 64-bit Windows (mingw-w64) from Debian's own qt6-base source package, the same
# version as the Linux build, into a cache outside the clone. Runs once per machine: a complete build
# in the cache is kept. Prints the install prefix on standard output, its progress on standard
# error.
#
#   TARSEL_CACHE   the cache folder (default ${XDG_CACHE_HOME:-~/.cache}/tarsel)
set -euo pipefail
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain=$scripts/../cmake/mingw-w64-x86_64.cmake

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)   # e.g. 6.4.2+dfsg-10
upstream=${version%%+*}
cache=${TARSEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarsel}
prefix=$cache/qt-$version-mingw64
mkdir -p "$cache"
# One build at a time: a second caller waits for the first and then finds the cache complete.
exec 9>"$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

bash "$scripts/add-deb-src.sh" "qt6-base=$version"

work=$cache/qt-$version-work
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
echo "Fetching Debian's qt6-base $version source" >&2
apt-get source -qq --download-only "qt6-base=$version" 2>&1 | grep -v -e unsandboxed >&2 || true
[ -f qt6-base_*.dsc ] || { echo "apt-get source qt6-base=$version failed" >&2; exit 1; }
# apt-get has checked the download against the archive's signed index already.
dpkg-source --no-check -x qt6-base_*.dsc src >/dev/null 2>&1

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
touch "$prefix/.complete"
cd "$cache" && rm -rf "$work"
echo "$prefix"
