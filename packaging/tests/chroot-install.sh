#!/usr/bin/env bash
# Installs the package into a clean Debian chroot with apt-get and runs it there as an ordinary
# user: every program's --version, an encrypt/decrypt round trip, a self-extracting file, the
# scheduler started and stopped, and the window library loaded from the installed folder.
#   packaging/tests/chroot-install.sh CHROOT PACKAGE.deb
# Make the chroot once with: debootstrap --variant=minbase bookworm CHROOT http://deb.debian.org/debian
# scripts/package runs this when QM_PACKAGE_CHROOT names such a folder.
set -euo pipefail
root=$(realpath "$1")
deb=$2
[ -x "$root/usr/bin/apt-get" ] || { echo "$root is no Debian chroot"; exit 1; }

mounted=()
cleanup() {
    # This chroot's keeper is the one whose program lies inside it.
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = "$root/usr/bin/keeper" ] && kill "${proc#/proc/}" 2>/dev/null
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}"; done
}
trap cleanup EXIT
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mkdir -p "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm" && mounted+=("$root/dev/shm")
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/quillmark.deb"

chroot "$root" /bin/bash -c 'export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends /tmp/quillmark.deb >/dev/null
    id tester >/dev/null 2>&1 || useradd -m tester'
chroot "$root" su tester -s /bin/bash -c '
    set -euo pipefail
    work=$(mktemp -d); cd "$work"
    export XDG_RUNTIME_DIR=$work/run; mkdir -m 700 "$XDG_RUNTIME_DIR"
    for p in qmcenter qmtask qmkey qmsfx keeper keyserv; do "$p" --version; done
    head -c 200000 /dev/urandom > data.bin; echo secret > pw
    qmcenter encrypt --password-file pw data.bin
    mkdir out; qmcenter decrypt --password-file pw --output out data.bin.qmp
    cmp data.bin out/data.bin
    qmsfx --password-file pw -o data.run data.bin
    mkdir unpacked; printf "secret\n%s\n" "$work/unpacked" | ./data.run
    cmp data.bin unpacked/data.bin
    qmtask schedule start; sleep 1
    qmtask schedule status | grep -q "scheduler: running"
    qmtask schedule stop
    # The window library loads from the installed folder (the window stays open until the timeout).
    status=0; QT_QPA_PLATFORM=offscreen timeout 3 qmcenter prefs 2>/dev/null || status=$?
    [ "$status" -eq 124 ]
    man -w qmtask >/dev/null 2>&1 || [ -e /usr/share/man/man1/qmtask.1.gz ]
    rm -rf "$work"'
echo "installed and ran in $root"
