#!/usr/bin/env bash
# Runs the cross-built tests under Wine through CTest, in a throw-away Wine prefix made afresh.
#   test-windows.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build-windows}" && pwd)
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
rm -rf "$WINEPREFIX"
echo "Making a fresh Wine prefix in $WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
wine winecfg -v win10 >/dev/null 2>&1
wineserver -w
status=0
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2) || status=$?
wineserver -k || true
exit $status
