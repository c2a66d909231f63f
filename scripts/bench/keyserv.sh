#!/usr/bin/env bash
# Find-by-address against a key server holding 100,000 confirmed keys: keyserv on loopback with
# SQLite, then with a private PostgreSQL cluster, each loaded by wrk (random addresses, keep-alive
# connections). Prints wrk's figures: answers per second and the latency percentiles.
#
# Run:  scripts/bench/keyserv.sh          (from the source tree; builds what it needs, installs wrk)
# Env:  KEYS=100000   keys in the database
#       SECONDS_EACH=10  how long wrk loads each server
#       CONNECTIONS=8    wrk's open connections (two threads)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
KEYS=${KEYS:-100000}
SECONDS_EACH=${SECONDS_EACH:-10}
CONNECTIONS=${CONNECTIONS:-8}
command -v wrk >/dev/null || install_missing wrk
build_targets "$root/build" keyserv keyserv_seed

base=$(mktemp -d /tmp/qm-keyserv-bench.XXXXXX)
chmod 755 "$base"
server_pid=""
pg_started=""
pgbin=/usr/lib/postgresql/15/bin
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    [ -n "$pg_started" ] && as_pg "$pgbin/pg_ctl" -D "$base/pg/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$base"
}
trap cleanup EXIT

cat >"$base/find.lua" <<LUA
math.randomseed(os.time())
request = function()
    return wrk.format("GET", "/v1/keys?email=user" .. math.random(0, $KEYS - 1) .. "@bench.test")
end
LUA

# run_server NAME DATABASE: seeds, starts keyserv on a free port, loads it with wrk, stops it.
run_server() {
    local name=$1 db=$2 port=""
    "$root/build/bench/keyserv_seed" "$db" "$KEYS" >/dev/null
    "$root/build/bin/keyserv" --listen 127.0.0.1:0 --db "$db" --smtp 127.0.0.1:9 --rate-limit 0 \
        2>"$base/$name.log" &
    server_pid=$!
    for _ in $(seq 200); do
        port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$base/$name.log" | head -1)
        [ -n "$port" ] && break
        sleep 0.05
    done
    [ -n "$port" ] || { echo "keyserv did not start:"; cat "$base/$name.log"; exit 1; }
    curl -fsS "http://127.0.0.1:$port/v1/keys?email=user1@bench.test" >/dev/null
    echo "== $name: find by address, $KEYS keys, $CONNECTIONS connections, ${SECONDS_EACH}s"
    wrk -t2 -c"$CONNECTIONS" -d"${SECONDS_EACH}s" --latency -s "$base/find.lua" "http://127.0.0.1:$port" |
        grep -E 'Requests/sec|Latency|50%|90%|99%|Non-2xx|requests in'
    kill "$server_pid"
    wait "$server_pid" || true
    server_pid=""
}

run_server sqlite "$base/keys.sqlite"

if [ -x "$pgbin/initdb" ]; then
    mkdir -p "$base/pg"
    [ "$(id -u)" -eq 0 ] && chown nobody "$base/pg"
    pgport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    as_pg "$pgbin/initdb" -D "$base/pg/data" -A trust -U qm --no-sync -E UTF8 >/dev/null
    as_pg "$pgbin/pg_ctl" -D "$base/pg/data" -l "$base/pg/log" -w \
        -o "-p $pgport -k $base/pg -c listen_addresses=127.0.0.1" start >/dev/null
    pg_started=1
    run_server postgresql "postgresql://qm@127.0.0.1:$pgport/postgres"
else
    echo "== postgresql: skipped, $pgbin/initdb is missing (apt-get install postgresql)"
fi
