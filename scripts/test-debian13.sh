#!/usr/bin/env bash
# Runs the README's test command (scripts/test.sh) on this checkout's HEAD inside
# a Debian 13 (trixie) root of the project's own, entered with chroot, so that
# the suite also runs on Debian 13's Wine, MinGW-w64 and CMake whatever this
# host is. Needs root. Arguments go to ctest.
#
# The root (LUMARIS_DEBIAN13_ROOT, default /var/cache/lumaris-hba/debian13) is
# made once with debootstrap from Debian's packages and then kept: it is built
# under another name and renamed into place only when whole, so a run that was
# interrupted half way leaves nothing that a later run would take for a root.
# /proc, /sys and /dev are bound for the run and released on every exit,
# failure and Ctrl-C included. binfmt_misc belongs to the host: where the host
# runs 32-bit programs under qemu-i386, the root's Wine does too.
#
# Its last line sums the run up, for instance:
#   debian13: Debian GNU/Linux 13 (trixie), wine-10.0 (Debian 10.0~repack-6): 100% tests passed, 0 tests failed out of 17; total 231.52 s
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="${LUMARIS_DEBIAN13_ROOT:-/var/cache/lumaris-hba/debian13}"
partial="$root.partial"
source "$repo/cmake/wine-env.sh"
source "$repo/scripts/ctest-summary.sh"
source "$repo/scripts/install-packages.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "$0 needs root: it makes a Debian root with debootstrap and enters it with chroot." >&2
    exit 1
fi

# Ends whatever still runs inside a root (a wineserver kept alive, say), then
# releases every mount under it; a mount that stays busy is detached lazily,
# so none is left behind either way.
release_root() {
    local dir=$1 pid
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/root" 2>/dev/null)" = "$dir" ] && kill -KILL "${pid#/proc/}" 2>/dev/null || true
    done
    for fs in dev sys proc; do
        if mountpoint -q "$dir/$fs" 2>/dev/null; then
            umount -R "$dir/$fs" 2>/dev/null || umount -R -l "$dir/$fs"
        fi
    done
}

on_exit() {
    release_root "$root"
    release_root "$partial"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The Debian mirror this host's apt uses, so the root comes from the same place.
debian_mirror() {
    local uri
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i } /^deb / { print ($2 ~ /^\[/ ? $3 : $2) }' |
        grep -v -e security -e '^$' | grep '/debian/\?$' | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

bind_system_folders() {
    local dir=$1 fs
    for fs in proc sys dev; do
        mkdir -p "$dir/$fs"
        mount --rbind "/$fs" "$dir/$fs"
        mount --make-rslave "$dir/$fs"
    done
}

if [ ! -x "$root/bin/bash" ]; then
    echo "Making a Debian 13 root in $root (once; later runs reuse it)" >&2
    install_packages debootstrap
    release_root "$partial"
    rm -rf --one-file-system "$partial"
    mkdir -p "$(dirname "$root")"
    debootstrap --variant=minbase --include=git,ca-certificates trixie "$partial" "$(debian_mirror)" >&2
    rm -rf --one-file-system "$root"
    mv "$partial" "$root"
fi

cp /etc/resolv.conf "$root/etc/resolv.conf"
rm -rf --one-file-system "$root/src/lumaris-hba"
mkdir -p "$root/src"
git clone -q "$repo" "$root/src/lumaris-hba"
bind_system_folders "$root"

log=$(mktemp)
environment=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
             ${QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$QEMU_RESERVED_VA})
set +e
chroot "$root" /usr/bin/env -i "${environment[@]}" bash /src/lumaris-hba/scripts/test.sh "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

ctest_summary debian13 "$root" "$status" "$log"
rm -f "$log"
exit "$status"
