#!/usr/bin/env bash
# Extraction speed of a self-extracting file, side by side with zlib's own uncompress over the same
# chunks (build/bench/sfx_bench_inflate) and with unzip on a zip of the same files.
# One command:   scripts/bench/extractor.sh          (BUILD=build, WORK=a temporary folder)
# Cases: one 512 MiB file of mixed compressibility, and 10,000 small files. Each program runs
# five times per case on warm caches; the best time counts. Prints times and ratios.
# CASES="big small" chooses the cases; KEEP=1 keeps the work folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/bench/common.sh"
build=${BUILD:-$root/build}
# On a RAM disk when there is room (about 2.5 GB): the disk of a shared machine adds noise of
# seconds from other writers, which would swamp the programs' own differences.
base=/var/tmp
[ "$(df -Pk /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')" -gt 3000000 ] 2>/dev/null && base=/dev/shm
work=${WORK:-$(mktemp -d "$base/qm-extractor-bench.XXXXXX")}
keep=${KEEP:-0}
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT

command -v zip >/dev/null && command -v unzip >/dev/null || install_missing zip unzip
build_targets "$build" extractor qmsfx sfx_bench_inflate

password="bench password"
mkdir -p "$work/big" "$work/small"
echo "preparing data in $work"
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(1)
# 512 MiB in 64 blocks of 8 MiB: 3 MiB random, 3 MiB text, 2 MiB zeros.
words = [bytes(w, 'ascii') for w in "the quick brown fox jumps over a lazy dog while seven tasks run".split()]
line = b" ".join(rng.choice(words) for _ in range(300000))
with open(os.path.join(work, "big", "mixed.bin"), "wb") as f:
    for i in range(64):
        f.write(os.urandom(3 << 20))
        f.write((line * 4)[: 3 << 20])
        f.write(bytes(2 << 20))
# 10,000 small files in 100 folders, 100 bytes to 16 KiB, half text, half random.
for d in range(100):
    folder = os.path.join(work, "small", "tree", "d%03d" % d)
    os.makedirs(folder)
    for i in range(100):
        size = rng.randint(100, 16384)
        data = os.urandom(size) if (d + i) % 2 else line[i * 7: i * 7 + size]
        with open(os.path.join(folder, "f%03d.dat" % i), "wb") as f:
            f.write(data)
PY

best() { # best wall time of five runs of "$@", with $out emptied before each
    local best_t=""
    for _ in 1 2 3 4 5; do
        rm -rf "$out"
        mkdir -p "$out"
        local t0 t1
        t0=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s.%N)
        best_t=$(python3 -c "a='$best_t'; t=$t1-$t0; print(t if a=='' or t<float(a) else a)")
    done
    echo "$best_t"
}

run_sfx() { printf '%s\n%s\n' "$password" "$out" | env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1"; }

for case in ${CASES:-big small}; do
    dir="$work/$case"
    src="$dir/mixed.bin"
    [ "$case" = small ] && src="$dir/tree"
    "$build/bin/qmsfx" --password "$password" -o "$dir/archive.run" "$src"
    (cd "$dir" && zip -q -r archive.zip "$(basename "$src")")
    "$build/bench/sfx_bench_inflate" prepare "$dir/archive.run" "$password" "$dir/plain.chunks"
    out="$dir/out"
    t_sfx=$(best run_sfx "$dir/archive.run")
    t_zlib_files=$(best "$build/bench/sfx_bench_inflate" inflate "$dir/plain.chunks" "$out")
    t_zlib_mem=$(best "$build/bench/sfx_bench_inflate" inflate "$dir/plain.chunks" -)
    t_unzip=$(best unzip -q -o "$dir/archive.zip" -d "$out")
    # The extraction must be complete and right.
    rm -rf "$out" && mkdir -p "$out" && run_sfx "$dir/archive.run" >/dev/null
    diff -r "$src" "$out/$(basename "$src")" >/dev/null || { echo "extracted files differ!"; exit 1; }
    bytes=$(du -sb --apparent-size "$src" | cut -f1)
    python3 - "$case" "$bytes" "$t_sfx" "$t_zlib_files" "$t_zlib_mem" "$t_unzip" <<'PY'
import sys
case, size = sys.argv[1], int(sys.argv[2])
sfx, zfiles, zmem, unzip = map(float, sys.argv[3:])
mb = size / 1048576
name = "512 MiB mixed file" if case == "big" else "10,000 small files"
print(f"\n{name} ({mb:.0f} MiB of content)")
for label, t in [("extractor (.run, terminal)", sfx), ("zlib uncompress + same file writes", zfiles),
                 ("zlib uncompress in memory", zmem), ("unzip", unzip)]:
    print(f"  {label:36s} {t:7.3f} s  {mb / t:8.1f} MiB/s")
print(f"  ratio extractor / zlib with writes  {zfiles / sfx:.2f} (throughput, goal >= 0.8)")
print(f"  ratio extractor / zlib in memory    {zmem / sfx:.2f} (throughput)")
print(f"  ratio extractor / unzip             {unzip / sfx:.2f} (throughput, goal >= 1.0)")
PY
done
