#!/bin/sh
# Installs what is missing, builds Brellimar with its tests and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure "$@"
