#!/bin/sh
# Compiles the Windows-only sources and the resource script with Debian's 32-bit MinGW cross
# compiler, and links them with a small driver, so that the Windows API calls stay correct
# without a Windows machine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=i686-w64-mingw32-g++
windres=i686-w64-mingw32-windres
if ! command -v "$cxx" >/dev/null || ! command -v "$windres" >/dev/null; then
    echo "SKIP: $cxx or $windres is not installed (g++-mingw-w64-i686)"
    exit 77
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for source in "$root"/platform/win/*.cpp; do
    "$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -municode -c "$source" -o "$out/$(basename "$source" .cpp).o"
    echo "compiled $(basename "$source")"
done

cat > "$out/driver.cpp" <<'CPP'
#include "platform/win/native_win.h"
int wmain()
{
    const bool found = platform::win::IsOrdinaryFile(L"C:\\Windows\\win.ini");
    const std::wstring text = platform::win::DecodeConsoleBytes("net");
    const std::wstring folder = platform::win::BrowseForFolder(nullptr, L"\u9009\u62e9\u4e3b\u76ee\u5f55");
    return found && !text.empty() && folder.empty() ? 0 : 1;
}
CPP
"$cxx" -std=c++17 -Wall -Werror -municode -I"$root" -c "$out/driver.cpp" -o "$out/driver.o"

version=$(sed -n 's/^project(Brellimar VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r major minor patch tweak <<EOV
$version
EOV
sed -e "s|@BRELLIMAR_ICO@|$root/app/icons/brellimar.ico|" -e "s|@PROJECT_VERSION_MAJOR@|$major|" \
    -e "s|@PROJECT_VERSION_MINOR@|$minor|" -e "s|@PROJECT_VERSION_PATCH@|$patch|" \
    -e "s|@PROJECT_VERSION_TWEAK@|$tweak|" "$root/app/version.rc.in" > "$out/version.rc"
"$windres" "$out/version.rc" -O coff -o "$out/version.res"
echo "compiled version.rc"

"$cxx" -municode -static "$out"/*.o "$out/version.res" -o "$out/guard.exe" -lshell32 -lole32
echo "linked guard.exe ($(wc -c < "$out/guard.exe") bytes)"
