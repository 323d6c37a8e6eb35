#!/bin/bash
# Start Xvfb on a free display (Xvfb picks it through -displayfd), optionally
# with trayer as the system tray host.
#   start:  ./start_xvfb.sh [DIR]      -> prints "export DISPLAY=:N"
#   stop:   ./start_xvfb.sh stop DIR
# Env (inputs): XVFB_SCREEN (default 1280x800x24), XVFB_TRAY (1: start trayer
#      and wait until its panel is up), WATCH_PID (optional: stop both when
#      this process has gone)
set -u
. "$(dirname "$(readlink -f "$0")")/lib_pids.sh"

if [ "${1:-}" = stop ]; then
    D=${2:?usage: $0 stop DIR}
    stop_pidfile "$D/trayer.pid" 10
    stop_pidfile "$D/xvfb.pid" 10
    exit $?
fi

D=${1:-$(mktemp -d /tmp/xvfb.XXXXXX)}; mkdir -p "$D"; D=$(readlink -f "$D")
t0=$(now_ms)
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x800x24}" -nolisten tcp -noreset \
    3> "$D/display" < /dev/null > "$D/xvfb.log" 2>&1 &
write_pidfile "$D/xvfb.pid" $!
if ! wait_ready "$D/xvfb.pid" 20 grep -q '[0-9]' "$D/display"; then
    echo "Xvfb did not come up; log:" >&2; cat "$D/xvfb.log" >&2; "$0" stop "$D"; exit 1
fi
export DISPLAY=":$(tr -dc 0-9 < "$D/display")"
[ -n "${WATCH_PID:-}" ] && start_watchdog "$D/xvfb.pid" "$WATCH_PID"

tray_up() { xwininfo -root -tree 2>/dev/null | grep -q '("panel" "trayer")'; }
if [ "${XVFB_TRAY:-0}" = 1 ]; then
    trayer --edge bottom --align right --widthtype pixel --width 200 --height 24 \
        < /dev/null > "$D/trayer.log" 2>&1 &
    write_pidfile "$D/trayer.pid" $!
    if ! wait_ready "$D/trayer.pid" 20 tray_up; then
        echo "trayer did not come up; log:" >&2; cat "$D/trayer.log" >&2; "$0" stop "$D"; exit 1
    fi
    [ -n "${WATCH_PID:-}" ] && start_watchdog "$D/trayer.pid" "$WATCH_PID"
fi
t1=$(now_ms)
echo "export DISPLAY=$DISPLAY" > "$D/env"
echo "# Xvfb${XVFB_TRAY:+ with tray} ready in $((t1 - t0)) ms; DIR=$D" >&2
cat "$D/env"
