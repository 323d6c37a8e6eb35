# Shared helpers for the start_*.sh scripts (sourced). Kill only what we started, by PID.
# A pidfile holds "PID STARTTIME" (field 22 of /proc/PID/stat, clock ticks since boot), so a
# stop never signals a recycled PID that now belongs to someone else.

now_ms() { date +%s%3N; }

proc_starttime() {  # PID -> start time; empty if no such process
    [ -r "/proc/$1/stat" ] || return 1
    # the command name (field 2) may contain spaces: cut after the last ')'
    sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | awk '{print $20}'
}

pid_alive() {  # PID exists and is not a zombie
    local st
    [ -r "/proc/$1/status" ] || return 1
    st=$(awk '/^State:/{print $2}' "/proc/$1/status" 2>/dev/null)
    [ -n "$st" ] && [ "$st" != Z ] && [ "$st" != X ]
}

write_pidfile() {  # FILE PID
    echo "$2 $(proc_starttime "$2")" > "$1"
}

pidfile_is_ours() {  # FILE: the recorded process is still the one we started, and alive
    local pid st
    read -r pid st < "$1" 2>/dev/null || return 1
    [ -n "$pid" ] && pid_alive "$pid" && [ "$(proc_starttime "$pid")" = "$st" ]
}

# descendants PID: "PID STARTTIME" of every live descendant (forked per-connection children
# of in.tftpd / vsftpd outlive their listener; an in.tftpd child mid-transfer ignores SIGTERM)
descendants() {
    local root=$1 f pid rest i p c
    local -A pp st
    for f in /proc/[0-9]*/stat; do
        read -r rest < "$f" 2>/dev/null || continue
        pid=${f#/proc/}; pid=${pid%/stat}
        rest=${rest##*) }; set -- $rest        # $1 state, $2 ppid, ... ${20} starttime
        [ "$1" = Z ] && continue
        pp[$pid]=$2; st[$pid]=${20}
    done
    local q=("$root"); i=0
    while [ "$i" -lt "${#q[@]}" ]; do
        p=${q[$i]}; i=$((i + 1))
        for c in "${!pp[@]}"; do
            [ "${pp[$c]}" = "$p" ] && { q+=("$c"); echo "$c ${st[$c]}"; }
        done
    done
}

# term_wait_kill PID STARTTIME GRACE: SIGTERM, wait up to GRACE s, then SIGKILL (only while the
# start time still matches)
term_wait_kill() {
    local pid=$1 st=$2 grace=$3 i
    [ "$(proc_starttime "$pid")" = "$st" ] || return 0
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < grace * 20; i++)); do pid_alive "$pid" || return 0; sleep 0.05; done
    [ "$(proc_starttime "$pid")" = "$st" ] || return 0
    echo "pid $pid ignored SIGTERM for ${grace}s, sending SIGKILL" >&2
    kill -KILL "$pid" 2>/dev/null
    for ((i = 0; i < 40; i++)); do pid_alive "$pid" || return 0; sleep 0.05; done
}

# stop_pidfile FILE [GRACE_SECONDS]: stop the recorded PID, then any children it had forked.
stop_pidfile() {
    local f=$1 grace=${2:-10} pid st kids k kst
    [ -s "$f" ] || return 0
    read -r pid st < "$f"
    if pidfile_is_ours "$f"; then
        kids=$(descendants "$pid")
        term_wait_kill "$pid" "$st" "$grace"
        while read -r k kst; do
            [ -n "$k" ] && term_wait_kill "$k" "$kst" 2
        done <<< "$kids"
    fi
    if pid_alive "$pid" && [ "$(proc_starttime "$pid")" = "$st" ]; then
        echo "could not stop pid $pid" >&2; return 1
    fi
    rm -f "$f"
}

# wait_ready PIDFILE TIMEOUT_SECONDS CMD...: poll CMD every 50 ms; fail at once if the
# daemon in PIDFILE has exited (e.g. port already in use) instead of waiting for the timeout.
wait_ready() {
    local f=$1 deadline=$(( $(now_ms) + $2 * 1000 )); shift 2
    until "$@" >/dev/null 2>&1; do
        pidfile_is_ours "$f" || { echo "daemon exited during start-up" >&2; return 1; }
        [ "$(now_ms)" -lt "$deadline" ] || { echo "not ready after timeout" >&2; return 1; }
        sleep 0.05
    done
}

# port_free tcp|udp PORT: nothing is bound/listening on PORT (any address)
port_free() {
    local o=lnt; [ "$1" = udp ] && o=lnu
    [ -z "$(ss -H"$o" "sport = :$2" 2>/dev/null)" ]
}

# port_owned_by PIDFILE tcp|udp PORT: the recorded daemon itself holds the socket on PORT
# (a readiness probe alone can be answered by some other server already on that port)
port_owned_by() {
    local pid o=lntp; [ "$2" = udp ] && o=lnup
    read -r pid _ < "$1" || return 1
    ss -H"$o" "sport = :$3" 2>/dev/null | grep -q "pid=$pid,"
}

# start_watchdog PIDFILE WATCHED_PID: in the background, stop the daemon of
# PIDFILE once WATCHED_PID (the test process that started it) has gone, so a
# test that crashed leaves nothing running. Ends by itself once the pidfile
# is gone (a normal stop).
start_watchdog() {
    local f=$1 w=$2 wst
    wst=$(proc_starttime "$w") || return 0
    (
        while [ -s "$f" ] && pid_alive "$w" && [ "$(proc_starttime "$w")" = "$wst" ]; do sleep 0.5; done
        [ -s "$f" ] && stop_pidfile "$f" 5
    ) </dev/null >/dev/null 2>&1 &
}
