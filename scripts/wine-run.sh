#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine; CTest's emulator for the Windows build.
#   wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# Wine passes no variable whose name begins with QT_ to Windows programs, only WINEQT_* (as QT_*),
# so the QT_* variables of a test are handed on that way. Qt logs to stderr instead of the debugger
# channel, and the offscreen platform finds its fonts. WINEPREFIX defaults to BUILD_DIR/wineprefix,
# which `make test-windows` makes afresh.
set -euo pipefail
build=$1
shift
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# The Qt and mingw-w64 libraries, as drive Z: sees them.
WINEPATH=$(sed 's|\(^\|;\)/|\1Z:/|g' "$build/wine-path.txt")
export WINEPATH
while IFS='=' read -r name _; do
    case $name in QT_*) export "WINE$name=${!name}" ;; esac
done < <(env)
export WINEQT_FORCE_STDERR_LOGGING=1
# The build's own prefix is made afresh for each test run: tests may change it for every user.
[ "$WINEPREFIX" != "$build/wineprefix" ] || export TARSEL_THROWAWAY_SYSTEM=1
# Shortcuts that tests install stay in the prefix, out of this machine's own menus.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
# Windows' own refusals, checked by the platform layer where Wine does not make them.
export TARSEL_WIN32_CONTRACTS=1
export WINEQT_QPA_FONTDIR=${WINEQT_QPA_FONTDIR:-Z:/usr/share/fonts/truetype/dejavu}
# Whatever a Windows program starts on the side (Wine's server and services, the desktop, a console
# host that outlives its program) takes that program's standard error and may keep it until the last
# Wine program has ended; CTest waits for the end of a test's output as well as for the test. So the
# program writes into a file, and only tail, which ends once the program has ended and the file is
# read to its end, holds CTest's pipe.
output=$(mktemp -t wine-run.XXXXXX)
trap 'rm -f "$output"' EXIT
# The explicit <&0 keeps the standard input, which a background command would lose to /dev/null.
wine "$@" <&0 >"$output" 2>&1 &
program=$!
tail -n +1 -s 0.05 -f --pid="$program" "$output" &
reader=$!
status=0
wait "$program" || status=$?
wait "$reader" || true
exit "$status"
