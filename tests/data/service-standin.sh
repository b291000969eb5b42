#!/bin/sh
# Stand-in for the system's service manager in the whole-system test, installed in the test's
# folder as bin/service (`service NAME ACTION`) and bin/systemctl (`systemctl ACTION NAME`). It
# drives the real Apache httpd and MariaDB server that live in that folder.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
case "$(basename "$0")" in
systemctl) [ "${1:-}" != is-active ] || set -- status "$3" # is-active --quiet NAME: its status
    action=${1:-} name=${2:-} ;;
*) name=${1:-} action=${2:-} ;;
esac
echo "$name $action" >>"$root/bin/calls.log"
pidfile=$root/apache/logs/httpd.pid
[ -z "${DEBIAN_CONFDIR:-}" ] || pidfile=$DEBIAN_CONFDIR/../run/apache2.pid
mysql="--no-defaults --socket=$root/mysql/mysql.sock"

# Waits up to 15 s for the command that follows to succeed.
await() {
    for _ in $(seq 150); do "$@" >/dev/null 2>&1 && return; sleep 0.1; done
    echo "$name did not $action in time"; exit 1
}

case "$name/$action" in
apache2/start)
    # As a service manager does, say only that the start failed: Apache writes its own reason to
    # its error log (-E: also what fails during its start-up). A Debian tree runs through apache2ctl.
    if [ -n "${DEBIAN_CONFDIR:-}" ]; then APACHE_CONFDIR=$DEBIAN_CONFDIR apache2ctl start
    else /usr/sbin/apache2 -f "$root/apache/conf/httpd.conf" -E "$root/apache/logs/error.log" -k start; fi ||
        { status=$?; echo "apache2: the service did not start"; exit "$status"; } ;;
apache2/stop)
    # As Windows' service manager and systemd do, without reading the configuration (apache2 -k stop
    # would, and refuse a broken one). Apache's port is free only once its main process has ended.
    pid=$(cat "$pidfile" 2>/dev/null) || exit 0
    kill -TERM "$pid" 2>/dev/null; await sh -c "! kill -0 $pid" ;;
apache2/status)
    pid=$(cat "$pidfile" 2>/dev/null) && kill -0 "$pid" 2>/dev/null || exit 3 ;;
mysql/start | mariadb/start)
    [ "${FAIL_MYSQL_START:-0}" = 1 ] && { echo "mysql: start refused by the test" >&2; exit 1; }
    # shellcheck disable=SC2086
    mariadbd $mysql --datadir="$root/mysql/data" --skip-networking --skip-grant-tables --user="$(id -un)" \
        >"$root/mysql/server.log" 2>&1 </dev/null &
    await mariadb-admin $mysql ping ;;
mysql/stop | mariadb/stop) mariadb-admin $mysql shutdown ;;
*) echo "$name: unrecognized service" >&2; exit 1 ;;
esac
