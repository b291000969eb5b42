#!/bin/sh
# Builds the Debian package, checks the installed desktop files, installs the package on this
# machine and starts the installed program for a few seconds. Needs root (or sudo).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh package
build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRELLIMAR_BUILD_TESTS=OFF -DBRELLIMAR_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target brellimar

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr
for f in bin/brellimar share/applications/org.brellimar.Brellimar.desktop \
         share/metainfo/org.brellimar.Brellimar.metainfo.xml \
         share/icons/hicolor/16x16/apps/org.brellimar.Brellimar.png \
         share/icons/hicolor/32x32/apps/org.brellimar.Brellimar.png \
         share/icons/hicolor/48x48/apps/org.brellimar.Brellimar.png \
         share/icons/hicolor/scalable/apps/org.brellimar.Brellimar.svg \
         share/doc/brellimar/copyright; do
    [ -f "$stage/usr/$f" ] || { echo "not installed: /usr/$f" >&2; exit 1; }
done
desktop-file-validate "$stage/usr/share/applications/org.brellimar.Brellimar.desktop"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.brellimar.Brellimar.metainfo.xml"

(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/brellimar_*.deb)
grep -q "$(basename "$deb")" README.md || { echo "package: README does not name $(basename "$deb")" >&2; exit 1; }
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get install -y -qq "./$deb"
dpkg -s brellimar | grep -E '^(Status|Version|Depends):'
# The licence where Debian keeps it, and one version in the package name and AppStream.
cmp LICENSE /usr/share/doc/brellimar/copyright
version=$(dpkg-query -W -f='${Version}' brellimar)
grep -q "<release version=\"$version\"" /usr/share/metainfo/org.brellimar.Brellimar.metainfo.xml ||
    { echo "package: AppStream release is not $version" >&2; exit 1; }

QT_QPA_PLATFORM=offscreen /usr/bin/brellimar &
pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "package: installed /usr/bin/brellimar started and kept running; ended by the check"
else
    wait "$pid" || true
    echo "package: the installed program did not keep running" >&2
    exit 1
fi
