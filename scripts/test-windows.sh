#!/usr/bin/env bash
# Runs the cross-built tests under Wine through CTest, in a throw-away Wine prefix made afresh.
#   test-windows.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build-windows}" && pwd)
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# The prefix's shortcuts stay in the prefix, out of this machine's own menus.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
rm -rf "$WINEPREFIX"
echo "Making a fresh Wine prefix in $WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
wine winecfg -v win10 >/dev/null 2>&1
wineserver -w

# A full disk for the scenario tests: a 2 MiB tmpfs as drive T:, where this machine lets us mount.
small=$build/small-drive
mkdir -p "$small"
unmount() { :; }
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=2m tarsel-small "$small" 2>/dev/null; then
    unmount() { umount "$small" || true; }
    ln -sfn "$small" "$WINEPREFIX/dosdevices/t:"
    export TARSEL_SMALL_DRIVE='T:'
else
    echo "Not root: the disk-full scenario is skipped (it needs a small tmpfs mounted as drive T:)"
fi

status=0
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2) || status=$?
wineserver -k || true
unmount
exit $status
