#!/usr/bin/env bash
# Times loading a public key ring of 10,000 keys (the engine's ring loader, Google Benchmark) and
# `qmkey list --json` over the same size of ring (best of five runs).
#
# Run:  scripts/bench/keyring.sh          (from the source tree; builds what it needs)
# Env:  KEYS=10000          keys in the ring that qmkey lists
#       RUNS=5              best of this many qmkey runs
#       BENCH_DIR=/dev/shm/...   where the ring and the settings go
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
KEYS=${KEYS:-10000}
RUNS=${RUNS:-5}
build_targets "$root/build" keyring_bench qmkey

base=${BENCH_DIR:-/dev/shm/qm-keyring-bench.$$}
mkdir -p "$base"
trap 'rm -rf "$base"' EXIT
# Own settings and data, so that the user's rings are neither read nor changed.
export HOME=$base/home XDG_CONFIG_HOME=$base/config XDG_DATA_HOME=$base/data XDG_STATE_HOME=$base/state
mkdir -p "$HOME" "$XDG_DATA_HOME/Quillmark"

echo "== ring loader, 10,000 public keys"
"$root/build/bench/keyring_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

echo "== qmkey list --json, $KEYS public keys"
"$root/build/bench/keyring_bench" --make-ring "$XDG_DATA_HOME/Quillmark/pubring.qkr" "$KEYS"
best=""
for _ in $(seq "$RUNS"); do
    start=$(date +%s.%N)
    "$root/build/bin/qmkey" list --json >"$base/list.json"
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
done
rows=$(grep -c '"keyId"' "$base/list.json")
printf 'qmkey list --json: %d keys listed, best of %d runs: %.0f ms\n' "$rows" "$RUNS" "$(echo "$best * 1000" | bc -l)"
