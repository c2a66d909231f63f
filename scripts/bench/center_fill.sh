#!/usr/bin/env bash
# Times the control center's main window over a large store: program start to the filled window
# (the scanning window's scan included), filling the list, header-click sorts, the filter, and
# the peak memory, with the window drawn offscreen after each step.
#
# Run:  scripts/bench/center_fill.sh       (from the source tree; builds what it needs)
# Env:  FILES=100000     encrypted files, spread over 10 locations
#       KEYS=10000       public keys in the ring
#       BENCH_DIR=/dev/shm/...   where the store goes (a tmpfs)
#       KEEP=1           leave the store (and its settings) in place for profiling
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
FILES=${FILES:-100000}
KEYS=${KEYS:-10000}

build_targets "$root/build" center_fill_bench keyring_bench qmkey qmcenter_gui

base=${BENCH_DIR:-/dev/shm/qm-center-bench.$$}
mkdir -p "$base"
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$base"' EXIT
# Own settings, data and runtime folders: the user's store and rings are neither read nor changed.
export HOME=$base/home XDG_CONFIG_HOME=$base/config XDG_DATA_HOME=$base/data XDG_STATE_HOME=$base/state
export XDG_RUNTIME_DIR=$base/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/Quillmark" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

echo "Preparing $FILES encrypted files in 10 locations and $KEYS public keys under $base ..."
python3 - "$base" "$FILES" <<'PY'
import os, sys
base, total = sys.argv[1], int(sys.argv[2])
keys = os.path.join(base, "keys")
os.makedirs(keys)
ids = [bytes([(i * 7 + j) % 251 + 1 for j in range(16)]) for i in range(100)]
for i, kid in enumerate(ids):
    with open(os.path.join(keys, "key%03d.qmk" % i), "wb") as f:
        f.write(kid + b"k" * 80)
for n in range(total):
    # Ten locations, twenty folders in each, the files spread evenly.
    folder = os.path.join(base, "L%d" % (n % 10), "d%02d" % (n // 10 % 20))
    os.makedirs(folder, exist_ok=True)
    header = bytearray(96)
    header[0] = 41
    keyed = n % 2 == 0
    header[9] = 1 if keyed else 0
    header[10] = n % 40 + 1
    if keyed:
        header[27:43] = ids[n % len(ids)]
    name = "f%06d.%s" % (n, "qma" if n % 5 == 0 else "qmp")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(header) + b"x" * (n % 997))
PY
"$root/build/bench/keyring_bench" --make-ring "$XDG_DATA_HOME/Quillmark/pubring.qkr" "$KEYS" >/dev/null
locations=()
for i in 0 1 2 3 4 5 6 7 8 9; do locations+=("$base/L$i"); done
"$root/build/bin/qmkey" locations "${locations[@]}" >/dev/null
"$root/build/bin/qmkey" keyfolder "$base/keys" >/dev/null

# Once to warm the caches, then the run that counts.
"$root/build/bench/center_fill_bench" "$(date +%s%N)" >/dev/null 2>&1 || true
"$root/build/bench/center_fill_bench" "$(date +%s%N)"
