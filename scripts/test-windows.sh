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

# The zip as a user gets it: unpacked into an empty folder, started from there, with no window of
# the tests left (they are called Brellimar too) and without the Qt the tests ran with.
timeout 30 wineserver -k 2>/dev/null || true
version=$(sed -n 's/^project(Brellimar VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$root/$build/Brellimar-$version-win32.zip")
(cd "$unpacked/Brellimar-$version-win32" && exec wine Brellimar.exe) &
window=
for _ in $(seq 300); do
    window=$(xdotool search --name '^Brellimar$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
if [ -n "$window" ]; then
    echo "The zip's Brellimar.exe, started under Wine from an empty folder, opened its window."
    sleep 2
    import -window "$window" "$build/screenshot-windows.png" && echo "Saved $build/screenshot-windows.png"
else
    echo "FAILED: the zip's Brellimar.exe did not open its window within 30 s"
    status=1
fi
timeout 30 wineserver -k 2>/dev/null || true
rm -rf "$unpacked"
exit $status
