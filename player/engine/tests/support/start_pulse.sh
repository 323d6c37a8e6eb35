#!/bin/bash
# Start a private PulseAudio daemon (as root, no systemd, no D-Bus) with a null sink as the
# default output, plus a low-latency recorder on the sink's monitor.
#   start:  ./start_pulse.sh [DIR]     (DIR default: new mktemp dir) -> prints "export PULSE_SERVER=..."
#   stop:   ./start_pulse.sh stop DIR
# Env: PULSE_TEST_RATE (8000) PULSE_TEST_CHANNELS (1): null-sink format; matching the player's
#      format means no resampling, so DIR/monitor.raw holds exactly the samples that were played.
#      norewinds=1: otherwise a new stream makes the sink rewind and the monitor misses its
#      first 1-20 ms.
# Files in DIR: native (socket), pulseaudio.log, pulseaudio.pid, parec.pid, monitor.raw, env
set -u
. "$(dirname "$(readlink -f "$0")")/../../../../scripts/testsupport/lib_pids.sh"

if [ "${1:-}" = stop ]; then
    D=${2:?usage: $0 stop DIR}
    stop_pidfile "$D/parec.pid" 5; rc1=$?
    stop_pidfile "$D/pulseaudio.pid" 10; rc2=$?
    exit $(( rc1 || rc2 ))
fi

D=${1:-$(mktemp -d /tmp/pulse.XXXXXX)}
mkdir -p "$D/run" "$D/config" "$D/state"
D=$(readlink -f "$D")
RATE=${PULSE_TEST_RATE:-8000}; CH=${PULSE_TEST_CHANNELS:-1}
t0=$(now_ms)
# -n: no default.pa (no udev/ALSA/X11/D-Bus modules). DISPLAY/D-Bus unset so nothing tries
# to autolaunch a session bus. HOME etc. point into DIR so nothing is written to /root.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS HOME="$D" XDG_RUNTIME_DIR="$D/run" \
    XDG_CONFIG_HOME="$D/config" PULSE_STATE_PATH="$D/state" PULSE_RUNTIME_PATH="$D/run/pulse" \
    pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 --use-pid-file=false \
    --realtime=no --high-priority=no --log-target=stderr --log-level=info \
    --load="module-null-sink sink_name=testsink format=s16le rate=$RATE channels=$CH norewinds=1" \
    --load="module-native-protocol-unix socket=$D/native auth-anonymous=1" \
    < /dev/null > "$D/pulseaudio.log" 2>&1 &
write_pidfile "$D/pulseaudio.pid" $!
export PULSE_SERVER="unix:$D/native" PULSE_COOKIE="$D/client-cookie"  # clients: keep out of /root
if ! wait_ready "$D/pulseaudio.pid" 15 pactl info; then
    echo "pulseaudio did not come up; log:" >&2; tail -20 "$D/pulseaudio.log" >&2
    "$0" stop "$D"; exit 1
fi
t1=$(now_ms)
# The recorder keeps the null sink rendering in 20 ms blocks; without a low-latency client the
# idle null sink sleeps in ~2 s blocks and a new playback stream may wait up to ~1.8 s to start.
parec --latency-msec=20 --device=testsink.monitor --format=s16le --rate="$RATE" --channels="$CH" \
    --raw "$D/monitor.raw" < /dev/null > "$D/parec.log" 2>&1 &
write_pidfile "$D/parec.pid" $!
# Wake the sink now: the idle null sink would otherwise finish its current ~2 s block first.
wait_ready "$D/parec.pid" 5 sh -c "pactl list short source-outputs | grep -q ."
pactl suspend-sink testsink 1; pactl suspend-sink testsink 0
if ! wait_ready "$D/parec.pid" 10 test -s "$D/monitor.raw"; then
    echo "monitor recorder produced nothing; log:" >&2; cat "$D/parec.log" >&2
    "$0" stop "$D"; exit 1
fi
t2=$(now_ms)
echo "export PULSE_SERVER=unix:$D/native PULSE_COOKIE=$D/client-cookie" > "$D/env"
echo "# pulseaudio ready in $((t1 - t0)) ms, monitor recorder in $((t2 - t1)) ms more; DIR=$D" >&2
cat "$D/env"
