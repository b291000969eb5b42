#!/bin/sh
# Installs the Debian packages that are not installed yet.
# Usage: scripts/deps.sh build|test|all
set -eu
build="cmake g++ make qt6-base-dev qt6-translations-l10n fonts-noto-cjk"
test="xvfb x11-utils xdotool imagemagick apache2 libapache2-mod-php php-cli libbenchmark-dev"

case "${1:-build}" in
    build) wanted="$build" ;;
    test) wanted="$build $test" ;;
    *) echo "usage: $0 build|test" >&2; exit 2 ;;
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
