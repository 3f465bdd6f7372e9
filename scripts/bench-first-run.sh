#!/usr/bin/env bash
# Times a newcomer's first run on a fresh Debian machine: `scripts/run.sh -v`
# in a fresh root, against its floor, installing the same packages and creating
# a Wine prefix alone in another fresh root. Prints both times and their ratio
# per round.
#
#   scripts/bench-first-run.sh [bookworm|trixie] (as root; default bookworm)
#
# BENCH_ROUNDS (default 1) rounds, alternating which of the two goes first, so
# that a mirror warming up does not favour one. Everything happens in a private
# mount and pid namespace, on a tmpfs mounted there: the roots, their binds and
# every process inside are gone when the run ends, however it ends (SIGKILL
# included), and nothing is written to the host's disk. Needs about 5 GB of
# memory for the tmpfs.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
suite=${1:-bookworm}
case "$suite" in bookworm | trixie) ;; *) echo "usage: $0 [bookworm|trixie]" >&2; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || { echo "bench-first-run: run it as root (it makes Debian roots)" >&2; exit 1; }

if [ -z "${LUMARIS_FIRST_RUN_NAMESPACE:-}" ]; then
    source "$repo/scripts/install-packages.sh"
    install_packages debootstrap
    export LUMARIS_FIRST_RUN_NAMESPACE=1
    exec unshare --mount --pid --fork --kill-child=SIGKILL --propagation private -- bash "$0" "$@"
fi

# Inside the namespace, as its first process: its tmpfs hides whatever /mnt
# holds from this run alone.
trap 'exit 130' INT
trap 'exit 143' TERM
work=/mnt
mount -t tmpfs -o size=12g lumaris-first-run "$work"
source "$repo/cmake/wine-env.sh"  # what an emulated host passes into the roots
source "$repo/scripts/install-packages.sh"

echo "Making a fresh Debian $suite root (debootstrap, minbase with git)" >&2
debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$work/base" "$(debian_mirror)" \
    >"$work/debootstrap.log" 2>&1 || { tail -n 5 "$work/debootstrap.log" >&2; exit 1; }
cp /etc/resolv.conf "$work/base/etc/resolv.conf"
git -c safe.directory="$repo" clone -q "$repo" "$work/base/src/lumaris-hba"

# fresh NAME: a copy of the base root, with /proc, /sys and /dev of its own.
fresh() {
    rm -rf --one-file-system -- "${work:?}/$1"
    cp -a "$work/base" "$work/$1"
    mount -t proc proc "$work/$1/proc"
    mount --rbind /sys "$work/$1/sys"
    mount --rbind /dev "$work/$1/dev"
}
# seconds NAME COMMAND: runs COMMAND in root NAME and prints its wall time.
seconds() {
    local start end
    start=$(date +%s.%N)
    chroot "$work/$1" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        ${QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$QEMU_RESERVED_VA} \
        ${LUMARIS_I386_EMULATED:+LUMARIS_I386_EMULATED=$LUMARIS_I386_EMULATED} \
        bash -c "cd /src/lumaris-hba && $2" >"$work/$1.log" 2>&1 || { tail -n 5 "$work/$1.log" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v start="$start" -v end="$end" 'BEGIN { printf "%.1f", end - start }'
}
release() {
    # Lazily: a wineserver may still linger inside for a few seconds.
    umount -R -l "$work/$1/proc" "$work/$1/sys" "$work/$1/dev"
    rm -rf --one-file-system -- "${work:?}/$1"
}

floor='source scripts/install-packages.sh && install_packages "${lumaris_build_packages[@]}" &&
       WINEPREFIX=/root/wineprefix cmake/wine-prefix.sh ensure'
first='scripts/run.sh -v'
host="$(. /etc/os-release && echo "$PRETTY_NAME")"
if lumaris_i386_handler >/dev/null; then host+=", 32-bit programs under qemu-i386"; else host+=", native"; fi
echo "Fresh Debian $suite root on this host ($host):"
for round in $(seq 1 "${BENCH_ROUNDS:-1}"); do
    fresh floor && fresh first
    if [ $((round % 2)) -eq 1 ]; then
        floor_s=$(seconds floor "$floor")
        first_s=$(seconds first "$first")
    else
        first_s=$(seconds first "$first")
        floor_s=$(seconds floor "$floor")
    fi
    grep -q '^Build on ' "$work/first.log" || { echo "bench-first-run: run.sh printed no report" >&2; exit 1; }
    release floor && release first
    awk -v round="$round" -v floor="$floor_s" -v first="$first_s" 'BEGIN {
        printf "round %d: packages and a Wine prefix alone %.1f s; scripts/run.sh -v from nothing %.1f s; ratio %.2f\n",
               round, floor, first, first / floor }'
done
