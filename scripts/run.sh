#!/bin/sh
# Installs what is missing, builds Brellimar and starts it.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target brellimar
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting without one (QT_QPA_PLATFORM=offscreen). Close with Ctrl+C." >&2
    export QT_QPA_PLATFORM=offscreen
fi
exec build/app/brellimar
