#!/bin/sh
# Installs the Debian packages that are not installed yet.
# Usage: scripts/deps.sh build|test|package|screenshot
#   build       what building and running the program needs
#   test        that, plus the real peers of the tests (Apache, PHP, MariaDB, curl), Google
#               Benchmark and the MinGW cross compiler for the Windows build guard
#   package     that, plus what building and checking the Debian package needs
#   screenshot  that, plus an X server and the tools to take a screenshot
set -eu
build="cmake g++ make qt6-base-dev qt6-translations-l10n fonts-noto-cjk"
peers="apache2 libapache2-mod-php php-cli mariadb-server mariadb-client curl libbenchmark-dev"
windows="g++-mingw-w64-i686 binutils-mingw-w64-i686"

case "${1:-build}" in
    build) wanted="$build" ;;
    test) wanted="$build $peers $windows" ;;
    package) wanted="$build dpkg-dev file desktop-file-utils appstream" ;;
    screenshot) wanted="$build xvfb x11-utils xdotool imagemagick" ;;
    *) echo "usage: $0 build|test|package|screenshot" >&2; exit 2 ;;
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
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
