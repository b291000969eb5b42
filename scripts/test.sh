#!/bin/sh
# Installs what is missing, builds Brellimar with its tests and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test
# CMAKE_ARGS: more options for the configure step, e.g. -DBRELLIMAR_WERROR=ON as CI builds.
# shellcheck disable=SC2086
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure "$@"
