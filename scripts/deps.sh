#!/bin/sh
# Installs the Debian packages that are not installed yet.
# Usage: scripts/deps.sh build|stack|test|package|screenshot|format|windows|wine
#   build       what building and running the program needs
#   stack       Debian's own Apache with PHP and MariaDB: the stack the program configures
#   test        that, plus the real peers of the tests (Apache, PHP with PHP-FPM, MariaDB, curl) and
#               Google Benchmark
#   package     that, plus what building and checking the Debian package needs
#   screenshot  that, plus an X server and the tools to take a screenshot
#   format      clang-format, for the check-format target
#   windows     what the cross build for 32-bit Windows needs (MinGW-w64 posix, Ninja, host Qt tools,
#               NSIS for the setup program)
#   wine        that, plus 32-bit Wine, an X server, the Chinese locale and icoutils, to run it
set -eu
build="cmake g++ make qt6-base-dev qt6-translations-l10n fonts-noto-cjk"
stack="apache2 libapache2-mod-php mariadb-server"
peers="apache2 libapache2-mod-php php8.2-fpm mariadb-server mariadb-client curl libbenchmark-dev"
windows="cmake ninja-build g++-mingw-w64-i686-posix binutils-mingw-w64-i686 qt6-base-dev qt6-base-dev-tools
 qt6-translations-l10n xz-utils nsis"
wine="wine wine32:i386 wine64 fonts-wine fonts-noto-cjk xvfb xdotool x11-utils imagemagick locales icoutils"

case "${1:-build}" in
    build) wanted="$build" ;;
    stack) wanted="$stack" ;;
    test) wanted="$build $peers" ;;
    package) wanted="$build dpkg-dev file desktop-file-utils appstream" ;;
    screenshot) wanted="$build xvfb x11-utils xdotool imagemagick" ;;
    format) wanted="clang-format" ;;
    windows) wanted="$windows" ;;
    wine) wanted="$windows $wine" ;;
    *) echo "usage: $0 build|stack|test|package|screenshot|format|windows|wine" >&2; exit 2 ;;
esac

missing=
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture.
case "$missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
esac
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
