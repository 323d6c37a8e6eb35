#!/bin/bash
# Start a throwaway FTP server on 127.0.0.1 that accepts USER ftp with PASS kqv,
# passive mode on loopback, serving a folder read-only: pyftpdlib, or vsftpd.
#   start:  ./start_ftp.sh [DIR]      -> prints "export FTP_PORT=... FTP_ROOT=..."
#   stop:   ./start_ftp.sh stop DIR
# Env (inputs; the outputs are FTP_PORT/FTP_ROOT, so eval'ing them can't leak into a 2nd start):
#      FTPD_IMPL=pyftpdlib (default: checks the password, no config file, no system user)
#      FTPD_IMPL=vsftpd    (config file in DIR; takes "ftp" as anonymous, so any password
#                          works; needs the system user "ftp" that its package creates)
#      FTPD_PORT (default 0: the server picks a free port), FTPD_ROOT (default DIR/root),
#      FTPD_PASSWORD (pyftpdlib; default kqv, another one makes every login fail),
#      WATCH_PID (optional: stop the daemon when this process has gone)
set -u
. "$(dirname "$(readlink -f "$0")")/lib_pids.sh"

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
IMPL=${FTPD_IMPL:-pyftpdlib}

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
case $IMPL in
pyftpdlib)
    $PY -m pyftpdlib -i 127.0.0.1 -p "$PORT" -d "$ROOT" -u ftp -P "${FTPD_PASSWORD:-kqv}" \
        < /dev/null > "$D/ftpd.log" 2>&1 &
    write_pidfile "$D/ftpd.pid" $!
    if [ "$PORT" = 0 ]; then   # learn the port the kernel gave it from the start-up line
        wait_ready "$D/ftpd.pid" 10 grep -q '>>> starting FTP server on' "$D/ftpd.log"
        PORT=$(sed -n 's/.*starting FTP server on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$D/ftpd.log")
    fi ;;
vsftpd)
    [ "$PORT" = 0 ] && PORT=$($PY -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    getent passwd ftp >/dev/null || { echo "vsftpd needs the system user 'ftp' (its Debian package creates it)" >&2; exit 1; }
    mkdir -p "$D/empty"; chmod 755 "$D/empty"
    cat > "$D/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$PORT
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root=$ROOT
no_anon_password=NO
ftp_username=ftp
pasv_enable=YES
pasv_address=127.0.0.1
secure_chroot_dir=$D/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=YES
log_ftp_protocol=YES
vsftpd_log_file=$D/vsftpd.log
use_localtime=NO
ssl_enable=NO
CONF
    vsftpd "$D/vsftpd.conf" < /dev/null > "$D/ftpd.log" 2>&1 &
    write_pidfile "$D/ftpd.pid" $! ;;
*) echo "FTPD_IMPL must be pyftpdlib or vsftpd" >&2; exit 2 ;;
esac

if [ -z "$PORT" ] || ! wait_ready "$D/ftpd.pid" 10 probe_banner "$PORT" \
        || ! port_owned_by "$D/ftpd.pid" tcp "$PORT"; then
    echo "$IMPL did not come up; log:" >&2; cat "$D/ftpd.log" >&2
    "$0" stop "$D"; exit 1
fi
[ -n "${WATCH_PID:-}" ] && start_watchdog "$D/ftpd.pid" "$WATCH_PID"
t1=$(now_ms)
printf 'export FTP_PORT=%s FTP_ROOT=%q\n' "$PORT" "$ROOT" > "$D/env"
echo "# $IMPL ready in $((t1 - t0)) ms on 127.0.0.1:$PORT serving $ROOT; DIR=$D" >&2
cat "$D/env"
