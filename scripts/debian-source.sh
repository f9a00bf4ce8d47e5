# Sourced by the scripts that cross-build one of Debian's source packages for mingw-w64 into a
# cache outside the clone, once per machine: the same version as the Linux build, fetched through
# apt, which checks it against the archive's signed index.
#
#   TARSEL_CACHE   the cache folder (default ${XDG_CACHE_HOME:-~/.cache}/tarsel)

# Makes `apt-get source PACKAGE=VERSION` work: where apt knows no source for it, adds deb-src
# entries for the Debian archive apt already uses and updates apt's lists.
add_deb_src() {
    apt-get source --print-uris "$1" >/dev/null 2>&1 && return 0
    local sudo=(sudo -n) list=/etc/apt/sources.list.d/tarsel-deb-src.sources f
    [ "$(id -u)" -eq 0 ] && sudo=()
    echo "Adding deb-src entries for the Debian archive apt already uses" >&2
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
}

# cached_build_begin NAME PACKAGE VERSION: sets $cache, $prefix ($cache/NAME-VERSION-mingw64) and
# $work. Where the cache holds a complete build, prints $prefix and ends the script; otherwise
# leaves the package's source unpacked in $work/src, with $work the current folder. One build of
# NAME at a time: a second caller waits for the first and then finds the cache complete.
cached_build_begin() {
    local name=$1 package=$2 version=$3
    cache=${TARSEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarsel}
    prefix=$cache/$name-$version-mingw64
    work=$cache/$name-$version-work
    mkdir -p "$cache"
    exec 9>"$cache/.$name.lock"
    flock 9
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        exit 0
    fi
    add_deb_src "$package=$version"
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    cd "$work"
    echo "Fetching Debian's $package $version source" >&2
    apt-get source -qq --download-only "$package=$version" 2>&1 | grep -v -e unsandboxed >&2 || true
    local dsc
    dsc=$(ls "$package"_*.dsc 2>/dev/null) || { echo "apt-get source $package=$version failed" >&2; exit 1; }
    # apt-get has checked the download against the archive's signed index already.
    dpkg-source --no-check -x "$dsc" src >/dev/null 2>&1
}

# Marks the build in $prefix complete, removes $work and prints $prefix.
cached_build_end() {
    touch "$prefix/.complete"
    cd "$cache" && rm -rf "$work"
    echo "$prefix"
}
