#!/usr/bin/env bash
# Relay benchmark on loopback. Builds nothing: expects relay-bench-proxy and relay-bench-load in
# $BIN (default build/bin) and microsocks on PATH.
#
# Both paths end at the same upstream, our ExitNode (username/password, bound to 127.0.3.5):
#   relay:      client -> Relay (no auth) -> ExitNode -> target
#   microsocks: client -> microsocks (no auth) -> ExitNode -> target, the client chaining SOCKS5
#               (CONNECT to the ExitNode through microsocks, then SOCKS5 with credentials inside)
# Throughput and connection rate: medians of $RUNS interleaved runs, with min..max.
# Memory: fresh Relay processes holding idle connections that each moved 64 KiB both ways.
# MODE=bulk measures only the bulk rows (quick iteration).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=${BIN:-$ROOT/build/bin}
RUNS=${RUNS:-5}
SECS=${SECS:-2}               # per bulk run
RATE_CONNS=${RATE_CONNS:-1500}
RATE_PAR=${RATE_PAR:-8}
MODE=${MODE:-all}
IDLE_CONNS=${IDLE_CONNS:-1000}
HELD_CONNS=${HELD_CONNS:-9980} # the sandbox's hard limit is 20000 descriptors; a relay needs two per connection

for tool in "$BIN/relay-bench-proxy" "$BIN/relay-bench-load"; do
    [[ -x $tool ]] || { echo "missing $tool (build the relay-bench-* targets first)" >&2; exit 1; }
done
command -v microsocks >/dev/null || { echo "microsocks not found" >&2; exit 1; }

# Work folder, start/stop/field, free_port, rss_kib.
source "$ROOT/bench/common.sh"

# heap NAME: heap bytes in use in a relay-bench-proxy started with start NAME.
heap() {
    local fdvar="${1}_FD" n
    n=$(grep -c '^heap' "$WORK/$1.out" || true)
    echo >&"${!fdvar}"
    for _ in $(seq 100); do
        (( $(grep -c '^heap' "$WORK/$1.out" || true) > n )) && break
        sleep 0.05
    done
    awk '$1 == "heap" { h = $2 } END { print h }' "$WORK/$1.out"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

start target "$BIN/relay-bench-load" target 127.0.0.1:0
start exitnode "$BIN/relay-bench-proxy" exit 127.0.0.1:0 127.0.3.5 bench secret
T=$(field target listening)
E=$(field exitnode listening)
start relay "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$E" bench secret
R=$(field relay listening)
MS=$(free_port)
microsocks -i 127.0.0.1 -p "$MS" >/dev/null 2>&1 &
PIDS+=("$!")
sleep 0.3

TARGET=127.0.0.1:$T
VIA_DIRECT=direct
VIA_RELAY=socks:127.0.0.1:$R
VIA_MS=chain:127.0.0.1:$MS:127.0.0.1:$E:bench:secret
load() { "$BIN/relay-bench-load" "$@" | awk '{ print $2 }'; }
record() { echo "$2" >>"$WORK/m.$1"; }

echo "relay-bench: $RUNS interleaved runs, ${SECS}s bulk, $RATE_CONNS connections x $RATE_PAR parallel" >&2
for i in $(seq "$RUNS"); do
    for dir in up down; do
        record "direct.$dir" "$(load bulk $VIA_DIRECT "$TARGET" $dir "$SECS")"
        record "relay.$dir" "$(load bulk "$VIA_RELAY" "$TARGET" $dir "$SECS")"
        record "ms.$dir" "$(load bulk "$VIA_MS" "$TARGET" $dir "$SECS")"
    done
    if [[ $MODE == bulk ]]; then
        echo "  run $i done" >&2
        continue
    fi
    record relay.rate "$(load rate "$VIA_RELAY" "$TARGET" "$RATE_CONNS" "$RATE_PAR")"
    record ms.rate "$(load rate "$VIA_MS" "$TARGET" "$RATE_CONNS" "$RATE_PAR")"
    record relay.rate1 "$(load rate "$VIA_RELAY" "$TARGET" 300 1)"
    record ms.rate1 "$(load rate "$VIA_MS" "$TARGET" 300 1)"
    echo "  run $i done" >&2
done

# median and spread of one metric: "median min max"
stats() { sort -g "$WORK/m.$1" | awk '{ v[NR] = $1 } END { printf "%.0f %.0f %.0f", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
row() { # label metric-a metric-b target
    read -r am amin amax <<<"$(stats "$2")"
    read -r bm bmin bmax <<<"$(stats "$3")"
    printf "%-26s %8s (%s..%s)  %8s (%s..%s)  %5.2fx  %s\n" "$1" "$am" "$amin" "$amax" "$bm" "$bmin" "$bmax" \
        "$(awk -v a="$am" -v b="$bm" 'BEGIN { print a / b }')" "$4"
}
echo
printf "%-26s %-24s %-24s %-6s %s\n" "metric" "relay median (min..max)" "other median (min..max)" "ratio" "target"
row "bulk up MB/s vs microsocks" relay.up ms.up ">= 5x"
row "bulk down MB/s vs microsocks" relay.down ms.down ">= 5x"
row "bulk up MB/s vs direct" relay.up direct.up ">= 0.2x"
row "bulk down MB/s vs direct" relay.down direct.down ">= 0.2x"
[[ $MODE == bulk ]] && exit 0
row "conn/s x$RATE_PAR vs microsocks" relay.rate ms.rate ">= 1.2x"
row "conn/s x1 vs microsocks" relay.rate1 ms.rate1 "(latency)"

# Idle connections on fresh relays: memory per 1,000, then the large hold.
hold_test() { # count label
    local count=$1 label=$2
    start "relay_$label" "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$E" bench secret
    local port pid
    port=$(field "relay_$label" listening)
    pid=$(eval echo "\$relay_${label}_PID")
    local before hbefore
    before=$(rss_kib "$pid")
    hbefore=$(heap "relay_$label")
    start "hold_$label" "$BIN/relay-bench-load" hold "socks:127.0.0.1:$port" "$TARGET" "$count" 65536
    local held
    held=$(field "hold_$label" held)
    sleep 1
    local after c0 c1 hafter
    after=$(rss_kib "$pid")
    hafter=$(heap "relay_$label")
    c0=$(cpu_ticks "$pid")
    sleep 5
    c1=$(cpu_ticks "$pid")
    echo
    echo "$label: $held idle connections held (each moved 64 KiB each way)"
    echo "  relay RSS ${before} KiB -> ${after} KiB: $(( (after - before) * 1000 / held )) KiB per 1,000 connections, $((after / 1024)) MB total"
    echo "  relay heap in use: $(( (hafter - hbefore) / held )) bytes per connection"
    echo "  relay CPU while idle: $((c1 - c0)) ticks (1/100 s) in 5 s"
    if [[ $label == held ]]; then
        local loaded=()
        for _ in $(seq "$RUNS"); do
            loaded+=("$(load bulk "socks:127.0.0.1:$port" "$TARGET" down "$SECS")")
        done
        local lm
        lm=$(printf "%s\n" "${loaded[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
        read -r um _ _ <<<"$(stats relay.down)"
        echo "  bulk down while held: ${lm%.*} MB/s (runs: $(printf "%.0f " "${loaded[@]}")) vs unloaded median $um: $(awk -v a="$lm" -v b="$um" 'BEGIN { printf "%.2f", a / b }')x (target >= 0.9x)"
    fi
    stop "hold_$label"
    stop "relay_$label"
}
hold_test "$IDLE_CONNS" idle
hold_test "$HELD_CONNS" held
