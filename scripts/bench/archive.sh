#!/usr/bin/env bash
# Times qmcenter's encrypted archives beside the tools a user would pick instead, in one run, on
# the same data (a tree of 10,000 small files and one large file), and prints the ratios.
#
# Run:  scripts/bench/archive.sh          (from the source tree; builds build/bin/qmcenter)
# Env:  BIG_MIB=256        size of the large file
#       SMALL=10000        number of small files
#       MANY=100000        entries of the archive whose listing is timed (0 to skip)
#       BENCH_DIR=/dev/shm/...   where the files go (a tmpfs, so no tool pays for the disk)
#
# Compression on: `qmcenter encrypt --archive --compress` against `7z a -p... -mhe=on` at its
# default level. Compression off: `qmcenter encrypt --archive` against `tar | openssl enc
# -aes-256-cbc -pbkdf2` (which authenticates nothing). Each: create, list, extract. A ratio
# below 1 means qmcenter took less time. Listing, which takes tens of milliseconds, is timed as
# the best of five runs of each tool.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
BIG_MIB=${BIG_MIB:-256}
SMALL=${SMALL:-10000}
MANY=${MANY:-100000}

need=()
command -v 7zz >/dev/null || command -v 7z >/dev/null || need+=(7zip)
command -v openssl >/dev/null || need+=(openssl)
install_missing "${need[@]}"
build_targets "$root/build" qmcenter
sevenzip=$(command -v 7zz || command -v 7z) # Debian's 7zip installs 7zz
qm=$root/build/bin/qmcenter

base=${BENCH_DIR:-/dev/shm/qm-archive-bench.$$}
mkdir -p "$base"
trap 'rm -rf "$base"' EXIT
# Own settings, so that the user's are neither read nor changed.
export XDG_CONFIG_HOME=$base/config HOME=$base/home DISPLAY= WAYLAND_DISPLAY= QT_QPA_PLATFORM=
mkdir -p "$XDG_CONFIG_HOME" "$HOME"
pw=bench-password

echo "Preparing $SMALL small files and a $BIG_MIB MiB file in $base ..."
python3 - "$base/data" "$SMALL" "$BIG_MIB" <<'EOF'
import base64, os, random, sys
root, small, big = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(7)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(2000)]
for i in range(small):
    d = os.path.join(root, "tree", "d%02d" % (i % 50))
    os.makedirs(d, exist_ok=True)
    text = b" ".join(rnd.choice(words) for _ in range(rnd.randint(20, 600)))
    open(os.path.join(d, "f%05d.txt" % i), "wb").write(text)
# Text-like data (base64 of random bytes): compressible, but not trivially.
with open(os.path.join(root, "big.bin"), "wb") as f:
    for i in range(big // 4):
        f.write(base64.b64encode(os.urandom(3 << 20)))
EOF
cd "$base/data"

now() { date +%s.%N; }
declare -A T
run() { # name, command...
    local name=$1
    shift
    local t0
    t0=$(now)
    "$@" >/dev/null 2>"$base/err" || {
        echo "FAILED: $name"
        cat "$base/err"
        exit 1
    }
    T[$name]=$(awk -v a="$(now)" -v b="$t0" 'BEGIN { printf "%.3f", a - b }')
}
# The quickest of several runs, for the steps that take well under a second, where one run says
# more about the machine's moment than about the program.
best() { # times, name, command...
    local times=$1 name=$2 low=""
    shift 2
    for _ in $(seq "$times"); do
        run "$name" "$@"
        low=$(awk -v a="${T[$name]}" -v b="${low:-${T[$name]}}" 'BEGIN { print (a < b ? a : b) }')
    done
    T[$name]=$low
}

rm -rf "$base/out"* "$base"/*.qma "$base"/*.7z "$base"/*.enc
# Compression on.
run qm_c_create "$qm" encrypt --archive "$base/c.qma" --password "$pw" --compress tree big.bin
run 7z_create "$sevenzip" a -bd -p"$pw" -mhe=on "$base/c.7z" tree big.bin
best 5 qm_c_list "$qm" decrypt --list --password "$pw" "$base/c.qma"
best 5 7z_list "$sevenzip" l -p"$pw" "$base/c.7z"
mkdir -p "$base/out1" "$base/out2"
run qm_c_extract "$qm" decrypt --password "$pw" --output "$base/out1" "$base/c.qma"
run 7z_extract "$sevenzip" x -bd -p"$pw" -o"$base/out2" "$base/c.7z"
diff -r "$base/out1" "$base/out2" >/dev/null || { echo "FAILED: the extracted trees differ"; exit 1; }
rm -rf "$base/out1" "$base/out2"

# Compression off.
run qm_u_create "$qm" encrypt --archive "$base/u.qma" --password "$pw" tree big.bin
run tar_create sh -c "tar cf - tree big.bin | openssl enc -aes-256-cbc -pbkdf2 -pass pass:$pw -out '$base/u.enc'"
best 5 qm_u_list "$qm" decrypt --list --password "$pw" "$base/u.qma"
best 5 tar_list sh -c "openssl enc -d -aes-256-cbc -pbkdf2 -pass pass:$pw -in '$base/u.enc' | tar tf -"
mkdir -p "$base/out1" "$base/out2"
run qm_u_extract "$qm" decrypt --password "$pw" --output "$base/out1" "$base/u.qma"
run tar_extract sh -c "openssl enc -d -aes-256-cbc -pbkdf2 -pass pass:$pw -in '$base/u.enc' | tar xf - -C '$base/out2'"
diff -r "$base/out1" "$base/out2" >/dev/null || { echo "FAILED: the extracted trees differ"; exit 1; }
rm -rf "$base/out1" "$base/out2"

size() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
printf "%-28s %10s %10s %8s\n" "compression on (vs 7z)" "qmcenter" "7z" "ratio"
for op in create list extract; do
    printf "%-28s %9.3fs %9.3fs %8.2f\n" "$op" "${T[qm_c_$op]}" "${T[7z_$op]}" \
        "$(ratio "${T[qm_c_$op]}" "${T[7z_$op]}")"
done
printf "%-28s %10s %10s\n" "  archive size (bytes)" "$(size "$base/c.qma")" "$(size "$base/c.7z")"
printf "%-28s %10s %10s %8s\n" "compression off (vs tar|openssl)" "qmcenter" "tar+ossl" "ratio"
for op in create list extract; do
    printf "%-28s %9.3fs %9.3fs %8.2f\n" "$op" "${T[qm_u_$op]}" "${T[tar_$op]}" \
        "$(ratio "${T[qm_u_$op]}" "${T[tar_$op]}")"
done
printf "%-28s %10s %10s\n" "  archive size (bytes)" "$(size "$base/u.qma")" "$(size "$base/u.enc")"
rm -f "$base"/*.qma "$base"/*.7z "$base"/*.enc

if [ "$MANY" -gt 0 ]; then
    mkdir -p "$base/many"
    (cd "$base/many" && seq -f "e%06.0f" 1 "$MANY" | xargs touch)
    "$qm" encrypt --archive "$base/many.qma" --password "$pw" "$base/many" >/dev/null
    best 3 qm_many_list "$qm" decrypt --list --password "$pw" "$base/many.qma"
    printf "listing %d entries: %.2fs (goal: under 1 s, including the password's key stretching)\n" \
        "$MANY" "${T[qm_many_list]}"
fi
