#!/bin/sh
# Runs a cross-built Windows program under Wine with the Qt it was built against; CTest's
# emulator in the cross build (scripts/build-windows.sh sets it up).
# Usage: scripts/wine-run.sh QT_PREFIX PROGRAM.exe [ARGUMENTS...]
# The Wine prefix, the display and LANG come from the caller (scripts/test-windows.sh).
set -eu
qt=$1
shift
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
# Wine passes no QT_* variables on; WINEQT_FOO arrives as QT_FOO. QTest writes to the debugger
# when there is no console, unless told to use stderr.
export WINEPATH="$(windows_path "$qt/bin")"
export WINEQT_PLUGIN_PATH="$(windows_path "$qt/plugins")"
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
