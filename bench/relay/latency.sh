#!/usr/bin/env bash
# Relay over a far link: time to first byte with warm upstream connections, and the connection rate
# on loopback. Builds nothing: expects relay-bench-proxy, relay-bench-load and relay-bench-delay in
# $BIN (default build/bin) and microsocks on PATH.
#
# The far link is relay-bench-delay in front of the exit node: every chunk waits $ONE_WAY ms each
# way (round trip 2 x $ONE_WAY) and a new connection's first bytes one round trip more (the TCP
# handshake). All paths end at the same ExitNode (username/password, bound to 127.0.3.5):
#   relay warm:  client -> Relay (pool on)  -> far link -> ExitNode -> target
#   relay cold:  client -> Relay (pool off) -> far link -> ExitNode -> target
#   microsocks:  client -> microsocks -> far link -> ExitNode -> target (the client chains SOCKS5)
#   direct:      client -> far link -> ExitNode -> target (username/password)
#   relay idle:  pool on, but requests further apart than its idle limit (an idle route)
# Time to first byte: from connect() to the first byte answering a short request, handshakes
# included; $REQS requests one after another, $GAP ms apart; per run the median and p99, and the
# medians of those over $RUNS interleaved runs (with min..max).
# Connection rate on loopback: relay (pool on) against the exit node alone.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=${BIN:-$ROOT/build/bin}
RUNS=${RUNS:-3}
REQS=${REQS:-300}
GAP=${GAP:-10}
ONE_WAY=${ONE_WAY:-20}
IDLE_REQS=${IDLE_REQS:-10}
RATE_CONNS=${RATE_CONNS:-2000}
RATE_PAR=${RATE_PAR:-8}

for tool in relay-bench-proxy relay-bench-load relay-bench-delay; do
    [[ -x $BIN/$tool ]] || { echo "missing $BIN/$tool (build the relay-bench-* targets first)" >&2; exit 1; }
done
command -v microsocks >/dev/null || { echo "microsocks not found" >&2; exit 1; }

# Work folder, start/field, free_port.
source "$ROOT/bench/common.sh"

start target "$BIN/relay-bench-load" target 127.0.0.1:0
start exitnode "$BIN/relay-bench-proxy" exit 127.0.0.1:0 127.0.3.5 bench secret
T=$(field target listening)
E=$(field exitnode listening)
start far "$BIN/relay-bench-delay" 127.0.0.1:0 "127.0.0.1:$E" "$ONE_WAY"
D=$(field far listening)
start warm "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$D" bench secret
ZQ_POOL_MAX=0 start cold "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$D" bench secret
ZQ_POOL_IDLE_MS=300 start idle "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$D" bench secret
start near "$BIN/relay-bench-proxy" relay 127.0.0.1:0 "127.0.0.1:$E" bench secret
W=$(field warm listening)
C=$(field cold listening)
I=$(field idle listening)
N=$(field near listening)
MS=$(free_port)
microsocks -i 127.0.0.1 -p "$MS" >/dev/null 2>&1 &
PIDS+=("$!")
sleep 0.3

TARGET=127.0.0.1:$T
declare -A VIA=(
    [warm]=socks:127.0.0.1:$W
    [cold]=socks:127.0.0.1:$C
    [ms]=chain:127.0.0.1:$MS:127.0.0.1:$D:bench:secret
    [direct]=auth:127.0.0.1:$D:bench:secret
)
record() { echo "$2" >>"$WORK/m.$1"; }

echo "latency: round trip $((2 * ONE_WAY)) ms, $RUNS runs of $REQS requests ${GAP} ms apart" >&2
for i in $(seq "$RUNS"); do
    for path in warm cold ms direct; do
        read -r _ p50 p99 _ _ failed <<<"$("$BIN/relay-bench-load" ttfb "${VIA[$path]}" "$TARGET" "$REQS" "$GAP")"
        [[ $failed == 0 ]] || echo "  $path: $failed requests failed" >&2
        record "$path.p50" "$p50"
        record "$path.p99" "$p99"
    done
    read -r _ p50 p99 _ _ _ <<<"$("$BIN/relay-bench-load" ttfb "socks:127.0.0.1:$I" "$TARGET" "$IDLE_REQS" 800)"
    record idle.p50 "$p50"
    record idle.p99 "$p99"
    for par in 1 "$RATE_PAR"; do
        record "relay.rate$par" "$("$BIN/relay-bench-load" rate "socks:127.0.0.1:$N" "$TARGET" "$RATE_CONNS" "$par" | awk '{ print $2 }')"
        record "exit.rate$par" "$("$BIN/relay-bench-load" rate "auth:127.0.0.1:$E:bench:secret" "$TARGET" "$RATE_CONNS" "$par" | awk '{ print $2 }')"
    done
    echo "  run $i done" >&2
done

# "median (min..max)" of one metric over the runs.
stats() { sort -g "$WORK/m.$1" | awk '{ v[NR] = $1 } END { printf "%6.1f (%.1f..%.1f)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
med() { sort -g "$WORK/m.$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
rtt=$((2 * ONE_WAY))
echo
printf "%-34s %-24s %-24s %s\n" "time to first byte, ms" "median" "p99" "round trips (median)"
for row in "relay, pool warm:warm" "relay, pool off (cold):cold" "relay, idle route (cold):idle" "microsocks chain:ms" \
    "direct to the exit node:direct"; do
    label=${row%%:*}
    key=${row##*:}
    printf "%-34s %-24s %-24s %.2f\n" "$label" "$(stats "$key.p50")" "$(stats "$key.p99")" \
        "$(awk -v a="$(med "$key.p50")" -v r="$rtt" 'BEGIN { print a / r }')"
done
echo "target: warm <= 2 round trips ($((2 * rtt + rtt / 4)) ms)"
echo
printf "%-34s %-24s %-24s %s\n" "connections/s on loopback" "relay" "exit node alone" "ratio (target >= 0.8)"
for par in 1 "$RATE_PAR"; do
    printf "%-34s %-24s %-24s %.2f\n" "x$par parallel" "$(stats "relay.rate$par")" "$(stats "exit.rate$par")" \
        "$(awk -v a="$(med "relay.rate$par")" -v b="$(med "exit.rate$par")" 'BEGIN { print a / b }')"
done
