#!/bin/sh
# Starts the program under Xvfb with a CJK font and saves a screenshot of its window.
# The desktop's font is 11 points (set through Qt's KDE theme, which reads kdeglobals), as on
# GNOME or Plasma with a larger default font: the window must keep its 9-point layout. Prints the
# sizes of the icon the window offers to the window list (_NET_WM_ICON).
# Usage: scripts/screenshot.sh [program] [output.png]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh screenshot
program=${1:-build/app/brellimar}
output=${2:-docs/screenshot.png}
display=:${SCREENSHOT_DISPLAY:-77}

config=$(mktemp -d)
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "${app:-}" "$xvfb" 2>/dev/null || true
    rm -rf "$config"
}
trap cleanup EXIT
export DISPLAY="$display"
unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $display (SCREENSHOT_DISPLAY picks another)" >&2; exit 1; }

printf '[General]\nfont=Noto Sans CJK SC,11,-1,5,50,0,0,0,0,0\n' > "$config/kdeglobals"
XDG_CONFIG_HOME="$config" XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 LANG=zh_CN.UTF-8 "$program" &
app=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --name '^Brellimar$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1
sizes=$(xprop -id "$window" _NET_WM_ICON | sed -n 's/^.*Icon (\([0-9]*\) x \([0-9]*\)).*$/\1x\2/p' | tr '\n' ' ')
echo "window icon sizes: ${sizes:-none}"
import -window "$window" "$output"
echo "saved $output"
