#!/bin/bash
# Start a private MariaDB server (as root, no systemd) on a temp datadir, unix socket in DIR and
# TCP on 127.0.0.1, with database + user created.
#   start:  ./start_mysql.sh [DIR]      -> prints "export DB_HOST=127.0.0.1 DB_PORT=... DB_USER=..."
#   stop:   ./start_mysql.sh stop DIR
# Env (inputs): MYSQLD_PORT (default: a free port; MariaDB treats --port=0 as 3306),
#   MYSQLD_DB (pelluxbd), MYSQLD_USER (collector), MYSQLD_PASSWORD (collector-pw),
#   MYSQLD_INIT_SQL (optional .sql file run as root after the database exists, e.g. the schema),
#   WATCH_PID (optional: stop the server when this process has gone)
set -u
# The mariadb CLI tools obey MYSQL_HOST/MYSQL_TCP_PORT/MYSQL_UNIX_PORT/MYSQL_PWD from the
# environment (MYSQL_HOST=127.0.0.1 silently turns --socket into TCP to port 3306).
unset MYSQL_HOST MYSQL_TCP_PORT MYSQL_UNIX_PORT MYSQL_PWD
. "$(dirname "$(readlink -f "$0")")/lib_pids.sh"
PY=/usr/bin/python3

if [ "${1:-}" = stop ]; then
    D=${2:?usage: $0 stop DIR}
    stop_pidfile "$D/mariadbd.pid" 60   # clean shutdown takes ~50 ms; allow for a busy CI box
    exit $?
fi

D=${1:-$(mktemp -d /tmp/mysql.XXXXXX)}
mkdir -p "$D/tmp"; D=$(readlink -f "$D")
PORT=${MYSQLD_PORT:-$($PY -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')}
DB=${MYSQLD_DB:-pelluxbd}; DBUSER=${MYSQLD_USER:-collector}; DBPASS=${MYSQLD_PASSWORD:-collector-pw}
if ! port_free tcp "$PORT"; then echo "tcp port $PORT is already in use" >&2; exit 1; fi

# --no-defaults everywhere: /etc/mysql/*.cnf would put the socket in /run/mysqld (shared by all
# instances) ; so the utf8mb4 default it sets is repeated here explicitly.
OPTS=(--no-defaults --user=root --datadir="$D/data" --innodb-log-file-size=8M)
t0=$(now_ms)
if [ ! -d "$D/data/mysql" ]; then
    mariadb-install-db "${OPTS[@]}" --auth-root-authentication-method=normal --skip-test-db \
        --skip-name-resolve > "$D/install.log" 2>&1 || { cat "$D/install.log" >&2; exit 1; }
fi
t1=$(now_ms)
mariadbd "${OPTS[@]}" --socket="$D/mysql.sock" --port="$PORT" --bind-address=127.0.0.1 \
    --skip-name-resolve --pid-file="$D/mariadbd.own.pid" --log-error="$D/error.log" \
    --tmpdir="$D/tmp" --innodb-use-native-aio=0 --innodb-buffer-pool-size=32M \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    < /dev/null > "$D/stdout.log" 2>&1 &
write_pidfile "$D/mariadbd.pid" $!
ROOTCLI=(mariadb --no-defaults --protocol=socket --socket="$D/mysql.sock" -uroot)
if ! wait_ready "$D/mariadbd.pid" 60 mariadb-admin --no-defaults --protocol=socket --socket="$D/mysql.sock" -uroot ping \
        || ! port_owned_by "$D/mariadbd.pid" tcp "$PORT"; then
    echo "mariadbd did not come up; error log:" >&2; tail -20 "$D/error.log" >&2
    "$0" stop "$D"; exit 1
fi
t2=$(now_ms)
"${ROOTCLI[@]}" <<SQL || { "$0" stop "$D"; exit 1; }
CREATE DATABASE IF NOT EXISTS \`$DB\` CHARACTER SET utf8mb4;
CREATE USER IF NOT EXISTS '$DBUSER'@'%' IDENTIFIED BY '$DBPASS';
GRANT ALL PRIVILEGES ON \`$DB\`.* TO '$DBUSER'@'%';
SQL
if [ -n "${MYSQLD_INIT_SQL:-}" ]; then
    "${ROOTCLI[@]}" "$DB" < "$MYSQLD_INIT_SQL" || { "$0" stop "$D"; exit 1; }
fi
t3=$(now_ms)
[ -n "${WATCH_PID:-}" ] && start_watchdog "$D/mariadbd.pid" "$WATCH_PID"
printf 'export DB_HOST=127.0.0.1 DB_PORT=%s DB_SOCKET=%q DB_NAME=%q DB_USER=%q DB_PASSWORD=%q\n' \
    "$PORT" "$D/mysql.sock" "$DB" "$DBUSER" "$DBPASS" > "$D/env"
echo "# mariadb: install-db $((t1 - t0)) ms, server ready $((t2 - t1)) ms, schema $((t3 - t2)) ms; DIR=$D" >&2
cat "$D/env"
