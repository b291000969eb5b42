#!/bin/sh
# Cross-builds Brellimar for 32-bit Windows with Debian's MinGW-w64 and a Qt 6 built for it:
# Brellimar.exe, the tests that run on Windows, Brellimar-<version>-win32.zip, which holds
# everything the program needs beside it, and Brellimar-<version>-setup.exe, which installs the
# same files (packaging/brellimar.nsi, built with NSIS's makensis).
# Usage: scripts/build-windows.sh [QT_PREFIX]
#   QT_PREFIX (or BRELLIMAR_QT_MINGW): a Qt 6 for i686-w64-mingw32 (bin/Qt6Core.dll,
#   lib/cmake/Qt6). Without it, ../shared/toolchains/qt6-mingw-i686.tar.xz beside the clone is
#   unpacked into the build folder. BUILD_DIR (default build-win) is the build folder.
#   CMAKE_ARGS: more options for the configure step, e.g. -DBRELLIMAR_WERROR=ON as CI builds.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BUILD_DIR:-build-win}
archive=$root/../shared/toolchains/qt6-mingw-i686.tar.xz
qt=${1:-${BRELLIMAR_QT_MINGW:-}}
scripts/deps.sh windows

if [ -z "$qt" ]; then
    if [ -f "$build/qt6-mingw-i686/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        qt=$build/qt6-mingw-i686
    elif [ -f "$archive" ]; then
        mkdir -p "$build"
        echo "Unpacking $archive"
        tar -C "$build" -xJf "$archive"
        qt=$build/qt6-mingw-i686
    else
        cat >&2 <<MSG
No Qt for 32-bit MinGW was given and $archive does not exist.
Give one as: scripts/build-windows.sh /path/to/qt6-mingw-i686 (or BRELLIMAR_QT_MINGW=...).
To make one, scripts/build-qt6-mingw-i686.sh cross-builds Debian's own qt6-base source with the
MinGW-w64 posix compilers (about 25 minutes on 2 cores) into qt6-mingw-work/qt6-mingw-i686.
On Windows itself, use Qt's own MinGW or MSVC kit instead (README.md, "Building on Windows
with Qt's own kit").
MSG
        exit 1
    fi
fi
qt=$(cd "$qt" && pwd)
case "$build" in /*) unpacked=$build/qt6-mingw-i686 ;; *) unpacked=$root/$build/qt6-mingw-i686 ;; esac
if [ "$qt" = "$unpacked" ] && [ ! -f "$qt/translations/qtbase_zh_CN.qm" ]; then
    # The packed Qt has no translations; the tests find Qt's Chinese buttons in its prefix.
    mkdir -p "$qt/translations"
    cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$qt/translations/"
fi
[ -f "$qt/bin/Qt6Core.dll" ] || { echo "$qt is not a Qt for MinGW (no bin/Qt6Core.dll)" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DCMAKE_PREFIX_PATH="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBRELLIMAR_BUILD_BENCH=OFF -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh;$qt" ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"

# The zip: the program, the DLLs it loads (found from the import tables, so nothing unused is
# shipped), the platform and style plugins, and Qt's Chinese translation for its own buttons.
version=$(sed -n 's/^project(Brellimar VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Brellimar-$version-win32
stage=$build/zip/$name
rm -rf "$build/zip" "$build/$name.zip"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
exe=$(find "$build" -name Brellimar.exe -not -path "$build/zip/*" | head -n 1)
cp "$exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"
imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p'; }
pending="$stage/Brellimar.exe $stage/platforms/qwindows.dll $stage/styles/qwindowsvistastyle.dll"
while [ -n "$pending" ]; do
    next=
    for binary in $pending; do
        for dll in $(imports "$binary"); do
            if [ -f "$qt/bin/$dll" ] && [ ! -f "$stage/$dll" ]; then
                cp "$qt/bin/$dll" "$stage/"
                next="$next $stage/$dll"
            fi
        done
    done
    pending=$next
done
(cd "$build/zip" && cmake -E tar cf "../$name.zip" --format=zip "$name")

# The setup program, from the same folder: each file installed and uninstalled by name.
files=$(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
folders=$(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r)
nsis=$(mkdir -p "$build/setup" && cd "$build/setup" && pwd)
staged=$(cd "$stage" && pwd)
setup=Brellimar-$version-setup.exe
rm -f "$nsis"/* "$build"/Brellimar-*-setup.exe
# Windows paths; printf, as dash's echo reads the backslashes.
win() { printf '%s' "$1" | tr / '\\'; }
for file in $files; do
    case $file in
        */*) printf 'SetOutPath "$INSTDIR\\%s"\n' "$(win "${file%/*}")" ;;
        *) printf 'SetOutPath "$INSTDIR"\n' ;;
    esac
    printf 'File "%s"\n' "$staged/$file"
done >"$nsis/install.nsh"
{
    for file in $files; do printf 'Delete "$INSTDIR\\%s"\n' "$(win "$file")"; done
    for folder in $folders; do printf 'RMDir "$INSTDIR\\%s"\n' "$(win "$folder")"; done
} >"$nsis/uninstall.nsh"
major=${version%%.*} minor=$(echo "$version" | cut -d. -f2) tweak=${version##*.}
makensis -V2 -DVERSION="$version" -DVERSION_TEXT="$(printf '%s.%02d.%04d' "$major" "$minor" "$tweak")" \
    -DOUTFILE="$nsis/../$setup" -DINSTALL_FILES="$nsis/install.nsh" -DUNINSTALL_FILES="$nsis/uninstall.nsh" \
    packaging/brellimar.nsi

echo "Built $exe, $build/$setup and $build/$name.zip:"
echo "$files" | sed 's|^|  |'
