#!/usr/bin/env bash
# Times the key store's scan (`qmkey scan --json`) beside `find` over the same tree, and beside
# `find` plus reading the matched files' first 43 bytes, in one run, and prints the ratios.
#
# Run:  scripts/bench/store_scan.sh        (from the source tree; builds build/bin/qmkey)
# Env:  FILES=100000     files in the tree, spread over 10 locations
#       ENCRYPTED=10000  how many of them are encrypted files (".qmp", ".qma")
#       RUNS=5           best of this many runs per measurement
#       BENCH_DIR=/dev/shm/...   where the tree goes (a tmpfs, so no tool pays for the disk)
#       KEEP=1           leave the tree (and its settings) in place for profiling
#
# Each tool runs once before timing, so all of them find the folders in the kernel's caches.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
FILES=${FILES:-100000}
ENCRYPTED=${ENCRYPTED:-10000}
RUNS=${RUNS:-5}

build_targets "$root/build" qmkey
qmkey=$root/build/bin/qmkey

base=${BENCH_DIR:-/dev/shm/qm-scan-bench.$$}
mkdir -p "$base"
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$base"' EXIT
export XDG_CONFIG_HOME=$base/config XDG_DATA_HOME=$base/data HOME=$base/home
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$HOME"

echo "Preparing $FILES files ($ENCRYPTED encrypted) in 10 locations under $base ..."
python3 - "$base" "$FILES" "$ENCRYPTED" <<'PY'
import os, sys
base, total, encrypted = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
keys = os.path.join(base, "keys")
os.makedirs(keys)
ids = [bytes([(i * 7 + j) % 251 + 1 for j in range(16)]) for i in range(100)]
for i, kid in enumerate(ids):
    with open(os.path.join(keys, "key%03d.qmk" % i), "wb") as f:
        f.write(kid + b"k" * 80)
every = max(1, total // encrypted)
made = 0
for n in range(total):
    loc = "L%d" % (n % 10)
    # Three levels of folders, about 50 files in each.
    folder = os.path.join(base, loc, "a%02d" % (n // 5000 % 20), "b%02d" % (n // 50 % 10))
    os.makedirs(folder, exist_ok=True)
    if n % every == 0 and made < encrypted:
        header = bytearray(96)
        header[0] = 41
        keyed = made % 2 == 0
        header[9] = 1 if keyed else 0
        header[10] = 2
        if keyed:
            header[27:43] = ids[made % len(ids)]
        name = "f%06d.%s" % (n, "qma" if made % 5 == 0 else "qmp")
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(header) + b"x" * 160)
        made += 1
    else:
        with open(os.path.join(folder, "f%06d.%s" % (n, ("txt", "doc", "jpg", "pdf")[n % 4])), "wb") as f:
            f.write(b"plain file %d\n" % n)
PY
locations=()
for i in 0 1 2 3 4 5 6 7 8 9; do locations+=("$base/L$i"); done
"$qmkey" locations "${locations[@]}"
"$qmkey" keyfolder "$base/keys"

best() { # best wall time in seconds of RUNS runs of "$@"
    local bestt="" t0 t1 t
    "$@" >/dev/null 2>&1 || true
    for ((r = 0; r < RUNS; r++)); do
        t0=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        t1=$(date +%s.%N)
        t=$(echo "$t1 - $t0" | bc -l)
        if [ -z "$bestt" ] || (($(echo "$t < $bestt" | bc -l))); then bestt=$t; fi
    done
    printf '%.3f' "$bestt"
}
find_only() { find "${locations[@]}" -name '*.qm[ap]' -o -name '*.qmk'; }
find_heads() { find "${locations[@]}" \( -name '*.qm[ap]' -o -name '*.qmk' \) -print0 | xargs -0 head -qc 43 >/dev/null; }

found=$("$qmkey" scan --json | python3 -c 'import json,sys; d=json.load(sys.stdin); print(len(d["files"]), len(d["keyFiles"]), len(d["errors"]))')
echo "qmkey scan found (files, key files, errors): $found"
t_find=$(best find_only)
t_heads=$(best find_heads)
t_scan=$(best "$qmkey" scan --json)
echo
printf '%-34s %8s s\n' "find" "$t_find" "find + read 43 header bytes" "$t_heads" "qmkey scan --json" "$t_scan"
printf 'qmkey scan / find:                 %.2f\n' "$(echo "$t_scan / $t_find" | bc -l)"
printf 'qmkey scan / (find + headers):     %.2f   (goal: at most 1.5)\n' "$(echo "$t_scan / $t_heads" | bc -l)"
