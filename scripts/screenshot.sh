#!/bin/sh
# Starts the program under Xvfb with a CJK font and saves a screenshot of its window.
# Usage: scripts/screenshot.sh [program] [output.png]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh screenshot
program=${1:-build/app/brellimar}
output=${2:-docs/screenshot.png}
display=:${SCREENSHOT_DISPLAY:-77}

Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { kill "${app:-}" "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY="$display"
unset QT_QPA_PLATFORM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

LANG=zh_CN.UTF-8 "$program" &
app=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --name '^Brellimar$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1
import -window "$window" "$output"
echo "saved $output"
