#!/bin/sh
# Cross-builds Brellimar for 32-bit Windows (scripts/build-windows.sh) and runs its tests under
# Wine in Xvfb with the Chinese code page (LANG=zh_CN.UTF-8: ANSI and OEM code page 936), through
# CTest; then unpacks the zip into an empty folder and checks that its program opens its window.
# Usage: scripts/test-windows.sh [QT_PREFIX] (as for scripts/build-windows.sh)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BUILD_DIR:-build-win}
scripts/deps.sh wine
scripts/build-windows.sh "$@"

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! locale -a | grep -qix 'zh_CN.utf8'; then
    $sudo sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    $sudo locale-gen
fi
unset LC_ALL LANGUAGE
export LANG=zh_CN.UTF-8

# A 32-bit prefix of our own that reports Windows 10 (Qt 6 expects it).
export WINEPREFIX="$root/$build/wine" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
number=${WINE_TEST_DISPLAY:-78}
while [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
display=:$number
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    timeout 30 wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if [ ! -f "$WINEPREFIX/brellimar-ready" ]; then
    echo "Setting up the Wine prefix $WINEPREFIX"
    timeout 300 wineboot -i
    timeout 60 wine winecfg -v win10
    # A Chinese Windows has SimSun (the dialog font there) and Microsoft YaHei; Wine has neither.
    # Without a stand-in, GDI picks a math font whose tall ascent leaves text boxes blank.
    for font in SimSun NSimSun "Microsoft YaHei" "Microsoft YaHei UI"; do
        timeout 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "Noto Sans CJK SC" /f >/dev/null
    done
    # Wine's own fonts (fonts-wine) for the caption buttons (Marlett) and Tahoma, where this Wine
    # does not look for them by itself.
    cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Xvfb has no window manager: Wine draws the frames and moves the focus itself, as Windows
    # does. (Left to a manager that is not there, each window test took two seconds longer.)
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    timeout 60 wineserver -w
    touch "$WINEPREFIX/brellimar-ready"
fi

status=0
echo "Windows tests under Wine (LANG=$LANG):"
(cd "$build" && ctest --output-on-failure --timeout 180) || status=1
echo "Test functions under Wine, per program:"
awk '/ Testing: /{name=$3} /^Totals:/{print "  " name ": " $0}' "$build/Testing/Temporary/LastTest.log"

# Waits up to 30 s for a window whose title matches $1: true, and its id in $window, once there.
await_window() {
    for _ in $(seq 300); do
        window=$(xdotool search --name "$1" 2>/dev/null | head -n 1) && [ -n "$window" ] && return 0
        sleep 0.1
    done
    return 1
}

# The zip as a user gets it: unpacked into an empty folder, started from there, with no window of
# the tests left (they are called Brellimar too) and without the Qt the tests ran with.
timeout 30 wineserver -k 2>/dev/null || true
version=$(sed -n 's/^project(Brellimar VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$root/$build/Brellimar-$version-win32.zip")
(cd "$unpacked/Brellimar-$version-win32" && exec wine Brellimar.exe) &
if await_window '^Brellimar$'; then
    echo "The zip's Brellimar.exe, started under Wine from an empty folder, opened its window."
    sleep 2
    import -window "$window" "$build/screenshot-windows.png" && echo "Saved $build/screenshot-windows.png"
else
    echo "FAILED: the zip's Brellimar.exe did not open its window within 30 s"
    status=1
fi
timeout 30 wineserver -k 2>/dev/null || true
rm -rf "$unpacked"

setup=$root/$build/Brellimar-$version-setup.exe
echo "The setup program's resources:"
scripts/check-windows-exe.sh --setup "$setup" || status=1
# Wine would add the Start-menu shortcut to this machine's own menu; the prefix is what is checked.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
installed="$WINEPREFIX/drive_c/Program Files/Brellimar"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
failed() { echo "FAILED: $*"; status=1; }
# The files of the prefix outside Windows' own folder, and the programs registered for removal.
snapshot() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print | sort)
    wine reg query "$uninstall" | tr -d '\r'
}
shortcuts() { (cd "$WINEPREFIX/drive_c" && find . -name Brellimar.lnk | sort | tr '\n' ' '); }
expected=$( (cd "$root/$build/zip/Brellimar-$version-win32" && find . -type f && echo ./uninstall.exe) | sort)
at='C:\Program Files\Brellimar'
check_installed() {
    [ "$( (cd "$installed" && find . -type f) | sort)" = "$expected" ] || failed "$1: other files in $installed"
    [ "$(shortcuts)" = "./ProgramData/Microsoft/Windows/Start Menu/Programs/Brellimar.lnk ./users/Public/Desktop/Brellimar.lnk " ] ||
        failed "$1: the shortcuts are $(shortcuts)"
    entry=$(wine reg query "$uninstall\\Brellimar" | tr -d '\r' | sed 's/^ *//; s/   */ /g')
    size=$(find "$installed" -type f -printf '%s\n' | awk '{ bytes += $1 } END { printf "%x", int(bytes / 1024) }')
    for value in "DisplayName REG_SZ Brellimar" "DisplayVersion REG_SZ $version" "DisplayIcon REG_SZ $at\\Brellimar.exe,0" \
        "Publisher REG_SZ The Brellimar developers" "UninstallString REG_SZ \"$at\\uninstall.exe\"" \
        "QuietUninstallString REG_SZ \"$at\\uninstall.exe\" /S" "EstimatedSize REG_DWORD 0x$size"; do
        echo "$entry" | grep -qxF "$value" || failed "$1: the uninstall key has no $value"
    done
}
before=$(snapshot)
started=$(date +%s)
timeout 60 wine "$setup" /S || failed "the silent install ended with $?"
check_installed "first install"
echo "$entry"
(exec wine start 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Brellimar.lnk') &
if await_window '^Brellimar$'; then
    echo "The installed Brellimar.exe, started from its Start-menu shortcut, opened its window."
else
    failed "the installed Brellimar.exe did not open its window within 30 s"
fi
timeout 30 wineserver -k 2>/dev/null || true
timeout 60 wine "$setup" /S || failed "the second silent install ended with $?"
check_installed "second install, over the first"
timeout 60 wine "$at\\uninstall.exe" /S || failed "the silent uninstall ended with $?"
# The uninstaller returns at once and works on as a copy of itself in the temporary folder, which it
# marks for removal at the next restart, as Windows restarts: wait for it, show it, and restart.
timeout 60 wineserver -w
echo "$before" >"$build/before-install.txt"
echo "Left until the next restart:"
snapshot | diff "$build/before-install.txt" - | sed -n 's/^> \(..*\)/  \1/p'
timeout 60 wineboot -r
timeout 60 wineserver -w
if [ "$(snapshot)" = "$before" ]; then
    echo "Installed, started, installed again and uninstalled silently in $(($(date +%s) - started)) s: nothing left after the restart."
else
    failed "after the uninstall and a restart the prefix differs from before the install:"
    snapshot | diff "$build/before-install.txt" - || true
fi

# The setup's first page as a user sees it, then cancelled as a user cancels it.
(exec wine "$setup") &
if await_window '^Brellimar .* 安装$'; then
    sleep 1
    import -window "$window" "$build/setup-windows.png" && echo "Saved $build/setup-windows.png"
    xdotool key --window "$window" Escape
    timeout 30 wineserver -w
else
    failed "the setup program did not open its window within 30 s"
fi
exit $status
