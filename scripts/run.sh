#!/bin/sh
# Installs what is missing, builds Brellimar and starts it. On a machine with no Apache yet (no
# /usr/local/apache2/conf/httpd.conf, no /etc/apache2/apache2.conf, no /usr/sbin/apache2), it first
# installs Debian's own Apache, PHP and MariaDB, left stopped: OK with 启动 (start) then starts them
# on the folder you choose.
set -eu
cd "$(dirname "$0")/.."
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
scripts/deps.sh build
# An Apache is its program or its main configuration file: other packages create /etc/apache2/
# folders of their own (javascript-common its conf-available/).
if [ ! -f /usr/local/apache2/conf/httpd.conf ] && [ ! -f /etc/apache2/apache2.conf ] && [ ! -f /usr/sbin/apache2 ]; then
    echo "No Apache installation found: installing Debian's apache2, libapache2-mod-php and mariadb-server." >&2
    scripts/deps.sh stack
    # Where the package's own start ran (under systemd), stop again: the first OK starts them.
    $sudo service apache2 stop >/dev/null 2>&1 || true
    $sudo service mariadb stop >/dev/null 2>&1 || true
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target brellimar
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting without one (QT_QPA_PLATFORM=offscreen). Close with Ctrl+C." >&2
    export QT_QPA_PLATFORM=offscreen
fi
# Changing Apache's configuration and its services takes root.
if [ -n "$sudo" ]; then
    exec sudo env DISPLAY="${DISPLAY:-}" XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" \
        WAYLAND_DISPLAY="${WAYLAND_DISPLAY:-}" XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}" \
        QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-}" build/app/brellimar
fi
exec build/app/brellimar
