#!/bin/bash
# Start tftpd-hpa in the foreground on 127.0.0.1 (UDP), read-only, serving a folder.
#   start:  ./start_tftp.sh [DIR]      -> prints "export TFTP_PORT=... TFTP_ROOT=..."
#   stop:   ./start_tftp.sh stop DIR
# Env (inputs; the outputs are TFTP_PORT/TFTP_ROOT):
#      TFTPD_PORT (default 0: pick a free UDP port), TFTPD_ROOT (default DIR/root),
#      TFTPD_MAXBLK (optional --blocksize cap, e.g. 512 to mimic a device without big blocks),
#      TFTPD_USER (default root: the default "tftp" user cannot read files in 0700 mktemp dirs),
#      WATCH_PID (optional: stop the daemon when this process has gone)
set -u
. "$(dirname "$(readlink -f "$0")")/lib_pids.sh"
PY=/usr/bin/python3

if [ "${1:-}" = stop ]; then
    D=${2:?usage: $0 stop DIR}
    stop_pidfile "$D/tftpd.pid" 10
    exit $?
fi

D=${1:-$(mktemp -d /tmp/tftp.XXXXXX)}
mkdir -p "$D"; D=$(readlink -f "$D")
ROOT=${TFTPD_ROOT:-$D/root}; mkdir -p "$ROOT"; ROOT=$(readlink -f "$ROOT")
PORT=${TFTPD_PORT:-0}
[ "$PORT" = 0 ] && PORT=$($PY -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

probe() {  # a read request for a missing file must come back as a TFTP ERROR packet
    $PY - "$1" <<'PYEOF'
import socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(0.3)
s.sendto(b"\0\1__readiness_probe__\0octet\0", ("127.0.0.1", int(sys.argv[1])))
msg, _ = s.recvfrom(1024)
sys.exit(0 if struct.unpack("!H", msg[:2])[0] == 5 else 1)
PYEOF
}

# in.tftpd sets SO_REUSEADDR, so a second instance on a busy port starts "fine" and the two
# share the requests: refuse a port that already has a UDP socket bound.
if ! port_free udp "$PORT"; then
    echo "udp port $PORT is already in use" >&2; exit 1
fi
t0=$(now_ms)
# in.tftpd logs only to syslog (there is none in CI), so the log file stays nearly empty.
in.tftpd --listen --foreground --address "127.0.0.1:$PORT" --user "${TFTPD_USER:-root}" \
    ${TFTPD_MAXBLK:+--blocksize "$TFTPD_MAXBLK"} --verbose --secure "$ROOT" \
    < /dev/null > "$D/tftpd.log" 2>&1 &
write_pidfile "$D/tftpd.pid" $!
if ! wait_ready "$D/tftpd.pid" 10 probe "$PORT" || ! port_owned_by "$D/tftpd.pid" udp "$PORT"; then
    echo "in.tftpd did not answer on udp 127.0.0.1:$PORT; log:" >&2; cat "$D/tftpd.log" >&2
    "$0" stop "$D"; exit 1
fi
[ -n "${WATCH_PID:-}" ] && start_watchdog "$D/tftpd.pid" "$WATCH_PID"
t1=$(now_ms)
printf 'export TFTP_PORT=%s TFTP_ROOT=%q\n' "$PORT" "$ROOT" > "$D/env"
echo "# in.tftpd ready in $((t1 - t0)) ms on udp 127.0.0.1:$PORT serving $ROOT; DIR=$D" >&2
cat "$D/env"
