#!/usr/bin/env bash
# Request rate and latency of zq-service and clientProxy's API on loopback, alone and while slow
# peers trickle requests, with each server's resident memory before and after.
# BIN (default build/bin) holds zq-service and clientProxy; LOAD the http-bench-load program
# (default $BIN/http-bench-load), so servers of another build can be measured with the same load.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=${BIN:-$ROOT/build/bin}
LOAD=${LOAD:-$ROOT/build/bin/http-bench-load}
SECS=${SECS:-3}
THREADS=${THREADS:-4}
SLOW=${SLOW:-64}

for tool in "$BIN/zq-service" "$BIN/clientProxy" "$LOAD"; do
    [[ -x $tool ]] || { echo "missing $tool" >&2; exit 1; }
done

# Work folder, start/field, free_port, rss_kib.
source "$ROOT/bench/common.sh"

start service "$BIN/zq-service" --listen 127.0.0.1:0 --exit-listen 127.0.0.1:0 --data "$ROOT/data/service.json"
SERVICE_PORT=$(field service listening | sed 's#^http://127.0.0.1:##')

API_PORT=$(free_port)
ZQ_ACCOUNT_BASE=http://127.0.0.1:$SERVICE_PORT ZQ_RESOURCE_BASE=http://127.0.0.1:$SERVICE_PORT \
    start helper "$BIN/clientProxy" -api_port="$API_PORT" -user=demo -pwd=demo123 -proxy_port_start="$(free_port)" \
    -proxy_port_num=4 -program_port="$(free_port)" -uuid=u1 -inner_ip=127.0.0.1 -udp_port=0 -sessionid=s1
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$API_PORT/api/get_server_status" > /dev/null && break; sleep 0.05; done

run() { # NAME PID PORT PATH ARGS...
    local name=$1 pid=$2 port=$3 path=$4; shift 4
    local before after
    before=$(rss_kib "$pid")
    printf '%-34s ' "$name"
    "$LOAD" "$port" "$path" --threads "$THREADS" --secs "$SECS" "$@" | tr -d '\n'
    after=$(rss_kib "$pid")
    printf '  rss %d -> %d KiB\n' "$before" "$after"
}

echo "servers from $BIN, $THREADS client threads, $SECS s per row"
run "service, kept-alive" "$service_PID" "$SERVICE_PORT" /api/socks/config --post
run "service, new connection each" "$service_PID" "$SERVICE_PORT" /api/socks/config --post --close
run "service, beside $SLOW slow peers" "$service_PID" "$SERVICE_PORT" /api/socks/config --post --slow "$SLOW"
run "helper API, kept-alive" "$helper_PID" "$API_PORT" /api/get_server_status
run "helper API, new connection each" "$helper_PID" "$API_PORT" /api/get_server_status --close
run "helper API, beside $SLOW slow peers" "$helper_PID" "$API_PORT" /api/get_server_status --slow "$SLOW"
