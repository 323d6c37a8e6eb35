#!/bin/bash
# Start a throwaway FTP server (pyftpdlib) on 127.0.0.1 that accepts USER ftp with
# PASS kqv, passive mode on loopback, serving a folder read-only.
#   start:  ./start_ftp.sh [DIR]      -> prints "export FTP_PORT=... FTP_ROOT=..."
#   stop:   ./start_ftp.sh stop DIR
# Env (inputs; the outputs are FTP_PORT/FTP_ROOT, so eval'ing them can't leak into a 2nd start):
#      FTPD_PORT (default 0: the server picks a free port), FTPD_ROOT (default DIR/root),
#      FTPD_PASSWORD (default kqv; another one makes every login of the client fail),
#      WATCH_PID (optional: stop the daemon when this process has gone)
set -u
. "$(dirname "$(readlink -f "$0")")/../../../scripts/testsupport/lib_pids.sh"

if [ "${1:-}" = stop ]; then
    D=${2:?usage: $0 stop DIR}
    stop_pidfile "$D/ftpd.pid" 10
    exit $?
fi

D=${1:-$(mktemp -d /tmp/ftp.XXXXXX)}
mkdir -p "$D"; D=$(readlink -f "$D")
ROOT=${FTPD_ROOT:-$D/root}; mkdir -p "$ROOT"; ROOT=$(readlink -f "$ROOT")
PORT=${FTPD_PORT:-0}
PY=/usr/bin/python3   # Debian's python: python3-pyftpdlib is installed for it, not for pyenv/venvs

probe_banner() {  # an FTP greeting "220 ..." arrives on 127.0.0.1:$1
    local line
    exec 3<>"/dev/tcp/127.0.0.1/$1" || return 1
    IFS= read -r -t 2 line <&3; exec 3<&- 3>&-
    [[ $line == 220* ]]
}

if [ "$PORT" != 0 ] && ! port_free tcp "$PORT"; then
    echo "tcp port $PORT is already in use" >&2; exit 1
fi
t0=$(now_ms)
$PY -m pyftpdlib -i 127.0.0.1 -p "$PORT" -d "$ROOT" -u ftp -P "${FTPD_PASSWORD:-kqv}" \
    < /dev/null > "$D/ftpd.log" 2>&1 &
write_pidfile "$D/ftpd.pid" $!
if [ "$PORT" = 0 ]; then   # learn the port the kernel gave it from the start-up line
    wait_ready "$D/ftpd.pid" 10 grep -q '>>> starting FTP server on' "$D/ftpd.log"
    PORT=$(sed -n 's/.*starting FTP server on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$D/ftpd.log")
fi

if [ -z "$PORT" ] || ! wait_ready "$D/ftpd.pid" 10 probe_banner "$PORT" \
        || ! port_owned_by "$D/ftpd.pid" tcp "$PORT"; then
    echo "pyftpdlib did not come up; log:" >&2; cat "$D/ftpd.log" >&2
    "$0" stop "$D"; exit 1
fi
[ -n "${WATCH_PID:-}" ] && start_watchdog "$D/ftpd.pid" "$WATCH_PID"
t1=$(now_ms)
printf 'export FTP_PORT=%s FTP_ROOT=%q\n' "$PORT" "$ROOT" > "$D/env"
echo "# pyftpdlib ready in $((t1 - t0)) ms on 127.0.0.1:$PORT serving $ROOT; DIR=$D" >&2
cat "$D/env"
