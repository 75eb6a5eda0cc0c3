# Shared by the benchmark scripts (sourced): a work folder and the programs started, both gone on
# exit; programs held by their standard input; free loopback ports.

WORK=$(mktemp -d)
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# start NAME CMD...: runs CMD with its stdin on a pipe we hold open (closing it stops CMD); its
# output goes to $WORK/NAME.out and .err, its pid and that pipe to NAME_PID and NAME_FD.
start() {
    local name=$1; shift
    mkfifo "$WORK/$name.in"
    "$@" <"$WORK/$name.in" >"$WORK/$name.out" 2>"$WORK/$name.err" &
    local pid=$!
    local fd
    exec {fd}>"$WORK/$name.in"
    PIDS+=("$pid")
    printf -v "${name}_PID" %s "$pid"
    printf -v "${name}_FD" %s "$fd"
}
# stop NAME: closes its stdin and waits for it.
stop() {
    local fdvar="${1}_FD" pidvar="${1}_PID"
    eval "exec ${!fdvar}>&-"
    wait "${!pidvar}" 2>/dev/null || true
}
# field NAME WORD: second field of the first output line starting with WORD (waits up to 120 s).
field() {
    for _ in $(seq 1200); do
        if grep -q "^$2" "$WORK/$1.out" 2>/dev/null; then
            awk -v w="$2" '$1 == w { print $2; exit }' "$WORK/$1.out"
            return
        fi
        sleep 0.1
    done
    echo "no '$2' from $1: $(cat "$WORK/$1.err")" >&2
    exit 1
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
