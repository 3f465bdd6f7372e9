#!/usr/bin/env bash
# Times a newcomer's first run on a fresh Debian machine: `scripts/run.sh -v`
# in a fresh root, against its floor, installing the same packages and creating
# a Wine prefix alone in another fresh root. Prints both times and their ratio
# per round.
#
#   scripts/bench-first-run.sh [bookworm|trixie] (as root; default bookworm)
#
# BENCH_ROUNDS (default 1) rounds, alternating which of the two goes first, so
# that a mirror warming up does not favour one. The roots are made with
# mmdebstrap on a tmpfs of a bubblewrap sandbox and entered with bubblewrap
# (scripts/debian-root.sh): they, every mount and every process inside are gone
# when the run ends, however it ends (SIGKILL included), and nothing is written
# to the host's disk. Needs about 5 GB of memory for the tmpfs.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
suite=${1:-bookworm}
case "$suite" in bookworm | trixie) ;; *) echo "usage: $0 [bookworm|trixie]" >&2; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || { echo "bench-first-run: run it as root (it makes Debian roots)" >&2; exit 1; }
source "$repo/scripts/debian-root.sh"
work=/mnt  # the sandbox's own tmpfs, which hides whatever the host's /mnt holds
enter_sandbox --tmpfs "$work" -- bash "$repo/scripts/bench-first-run.sh" "$@"

make_root "$suite" "$work/base"
git -c safe.directory="$repo" clone -q "$repo" "$work/base/src/lumaris-hba"
# seconds NAME COMMAND: runs COMMAND in a fresh copy NAME of the base root and prints its wall time.
seconds() {
    local start end
    rm -rf --one-file-system -- "${work:?}/$1"
    cp -a "$work/base" "$work/$1"
    start=$(date +%s.%N)
    in_root "$work/$1" bash -c "cd /src/lumaris-hba && $2" >"$work/$1.log" 2>&1 || { tail -n 5 "$work/$1.log" >&2; exit 1; }
    end=$(date +%s.%N)
    rm -rf --one-file-system -- "${work:?}/$1"
    awk -v start="$start" -v end="$end" 'BEGIN { printf "%.1f", end - start }'
}

floor='source scripts/install-packages.sh && install_packages "${lumaris_build_packages[@]}" &&
       WINEPREFIX=/root/wineprefix cmake/wine-prefix.sh ensure'
first='scripts/run.sh -v'
host="$(. /etc/os-release && echo "$PRETTY_NAME")"
if lumaris_i386_handler >/dev/null; then host+=", 32-bit programs under qemu-i386"; else host+=", native"; fi
echo "Fresh Debian $suite root on this host ($host):"
for round in $(seq 1 "${BENCH_ROUNDS:-1}"); do
    if [ $((round % 2)) -eq 1 ]; then
        floor_s=$(seconds floor "$floor")
        first_s=$(seconds first "$first")
    else
        first_s=$(seconds first "$first")
        floor_s=$(seconds floor "$floor")
    fi
    grep -q '^Build on ' "$work/first.log" || { echo "bench-first-run: run.sh printed no report" >&2; exit 1; }
    awk -v round="$round" -v floor="$floor_s" -v first="$first_s" 'BEGIN {
        printf "round %d: packages and a Wine prefix alone %.1f s; scripts/run.sh -v from nothing %.1f s; ratio %.2f\n",
               round, floor, first, first / floor }'
done
