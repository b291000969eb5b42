#!/bin/sh
# Stand-in for the system's service manager in the whole-system test, installed as both
# `service NAME start|stop` and `systemctl start|stop NAME`. It drives a real Apache httpd and a
# real MariaDB server that live in the test's temporary folder; standin.env beside it says where.
set -u
here=$(dirname "$0")
. "$here/standin.env"

case "$(basename "$0")" in
    systemctl) action=${1:-} name=${2:-} ;;
    *) name=${1:-} action=${2:-} ;;
esac
echo "$name $action" >> "$here/calls.log"

# Waits until process $1 has exited (up to 15 s).
wait_gone() {
    pid=$1
    i=0
    while kill -0 "$pid" 2>/dev/null; do
        i=$((i + 1))
        [ "$i" -gt 150 ] && { echo "process $pid did not end"; return 1; }
        sleep 0.1
    done
}

case "$name/$action" in
apache2/start)
    # As a service manager does, say only that the start failed: Apache writes its own reason to
    # its error log (-E: also the errors of its start-up).
    /usr/sbin/apache2 -f "$APACHE_CONF" -E "$APACHE_ERRORLOG" -k start || {
        status=$?
        echo "apache2: the service did not start"
        exit "$status"
    }
    ;;
apache2/stop)
    pid=$(cat "$APACHE_PIDFILE" 2>/dev/null) || exit 0
    /usr/sbin/apache2 -f "$APACHE_CONF" -k stop || exit $?
    wait_gone "$pid"
    ;;
mysql/start | mariadb/start)
    if [ "${FAIL_MYSQL_START:-0}" = 1 ]; then
        echo "mysql: start refused by the test" >&2
        exit 1
    fi
    mariadbd --no-defaults --datadir="$MYSQL_DIR/data" --socket="$MYSQL_DIR/mysql.sock" \
        --port="$MYSQL_PORT" --bind-address=127.0.0.1 --pid-file="$MYSQL_DIR/mysql.pid" \
        --user="$(id -un)" --skip-grant-tables >"$MYSQL_DIR/server.log" 2>&1 </dev/null &
    i=0
    until mariadb-admin --no-defaults --socket="$MYSQL_DIR/mysql.sock" ping >/dev/null 2>&1; do
        i=$((i + 1))
        [ "$i" -gt 300 ] && { echo "mariadbd did not answer"; exit 1; }
        sleep 0.1
    done
    ;;
mysql/stop | mariadb/stop)
    pid=$(cat "$MYSQL_DIR/mysql.pid" 2>/dev/null) || exit 0
    kill "$pid" && wait_gone "$pid"
    ;;
*)
    echo "$name: unrecognized service" >&2
    exit 1
    ;;
esac
