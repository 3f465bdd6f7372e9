#!/usr/bin/env bash
# Runs the README's test command (scripts/test.sh) on this checkout's HEAD inside
# a Debian 13 (trixie) root of the project's own, so that the suite also runs on
# Debian 13's Wine, MinGW-w64 and CMake whatever this host is. Needs root.
# Arguments go to ctest.
#
# The root (LUMARIS_DEBIAN13_ROOT, default /var/cache/lumaris-hba/debian13) must
# be an absolute path, not / once resolved, and either not exist yet or be a
# root this script made (it carries the script's mark); anything else is refused
# before anything is written, mounted or deleted. It is made once with
# debootstrap, under another name, and marked and renamed into place only when
# whole. Everything that mounts or runs inside it does so in a private mount and
# pid namespace: the host never sees the binds, and the kernel ends every
# process inside and drops every mount when the run ends, however it ends,
# SIGKILL included. One run at a time: a second waits for the first.
# binfmt_misc belongs to the host: where the host runs 32-bit programs under
# qemu-i386, the root's Wine does too, and the tests inside are told so (the
# root cannot see the handler, since its /proc has no binfmt_misc mounted).
#
# Its last line sums the run up, for instance:
#   debian13: Debian GNU/Linux 13 (trixie), wine-10.0 (Debian 10.0~repack-6): 100% tests passed, 0 tests failed out of 17; total 231.52 s
#
# With --run SCRIPT first, it runs that script of the checkout (a path inside
# it, such as .ci/check-reproducible.sh) in the root instead of the suite.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/cmake/wine-env.sh"
source "$repo/.ci/ctest-summary.sh"
source "$repo/scripts/install-packages.sh"

root_mark=.lumaris-hba-debian13-root        # in a finished root
partial_mark=.lumaris-hba-debian13-partial  # in one being made

refuse() {
    echo "test-debian13: refusing $1" >&2
    exit 2
}

# Whether anything is mounted at or below the folder, in this mount namespace.
has_mounts_inside() {
    findmnt -rn -o TARGET | awk -v dir="$1" '$0 == dir || index($0, dir "/") == 1 { found = 1 } END { exit !found }'
}

# The first part: checks, the lock, and the namespace. Nothing is written before
# the path has passed.
if [ -z "${LUMARIS_DEBIAN13_NAMESPACE:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "$0 needs root: it makes a Debian root with debootstrap and enters it with chroot." >&2
        exit 1
    fi
    given="${LUMARIS_DEBIAN13_ROOT:-/var/cache/lumaris-hba/debian13}"
    [[ "$given" == /* ]] || refuse "the root '$given': not an absolute path"
    root=$(realpath -m -- "$given")
    [ "$root" != / ] || refuse "the root '$given': it is / once resolved"
    if [ -e "$root" ] || [ -L "$root" ]; then
        [ -d "$root" ] && [ -f "$root/$root_mark" ] && [ ! -L "$root/$root_mark" ] ||
            refuse "the root '$given' ($root): it exists and is not a root this script made"
    fi
    partial="$root.partial"
    if [ -e "$partial" ] || [ -L "$partial" ]; then
        [ -d "$partial" ] && [ ! -L "$partial" ] && [ -f "$partial/$partial_mark" ] ||
            refuse "'$partial': it exists and is not a root this script began"
    fi
    mkdir -p "$(dirname "$root")"
    exec 9>"$root.lock"
    if ! flock -n 9; then
        echo "test-debian13: another run uses $root; waiting for it" >&2
        flock 9
    fi
    # The lock (fd 9) goes with the run into the namespace; --kill-child ends the
    # namespace's first process, and with it every process and mount inside,
    # when this one dies, even by SIGKILL.
    export LUMARIS_DEBIAN13_NAMESPACE=1 LUMARIS_DEBIAN13_RESOLVED_ROOT="$root"
    exec unshare --mount --pid --kill-child=SIGKILL --propagation private -- bash "$0" "$@"
fi

# The second part: inside the namespace, as its first process. A first process
# ignores signals it has no handler for.
trap 'exit 130' INT
trap 'exit 143' TERM
root=$LUMARIS_DEBIAN13_RESOLVED_ROOT
partial="$root.partial"

# Deletes a root this script made or began, never one with anything mounted inside.
remove_own_root() {
    local dir=$1
    if has_mounts_inside "$dir"; then
        refuse "to delete '$dir': something is mounted inside it"
    fi
    rm -rf --one-file-system -- "$dir"
}

if [ ! -f "$root/$root_mark" ]; then
    echo "Making a Debian 13 root in $root (once; later runs reuse it)" >&2
    install_packages debootstrap
    [ ! -e "$partial" ] || remove_own_root "$partial"
    mkdir -- "$partial"
    touch -- "$partial/$partial_mark"
    debootstrap --variant=minbase --include=git,ca-certificates trixie "$partial" "$(debian_mirror)" >&2
    rm -f -- "$partial/$partial_mark"
    touch -- "$partial/$root_mark"
    mv -T -- "$partial" "$root"
fi

cp /etc/resolv.conf "$root/etc/resolv.conf"
# What the host trusts, the root trusts too (a proxy that inspects TLS, say):
# for npm, which the release check uses.
host_certificates=/etc/ssl/host-ca-certificates.crt
cp /etc/ssl/certs/ca-certificates.crt "$root$host_certificates" 2>/dev/null || host_certificates=""
rm -rf --one-file-system -- "$root/src/lumaris-hba"
mkdir -p "$root/src"
# The checkout may belong to another user (sudo on a developer's clone), which
# git accepts only when a global setting says so: a throwaway one does here.
safe_config="$root/src/safe.gitconfig"  # inside the root: a killed run leaves nothing on the host
printf '[safe]\n\tdirectory = %s\n\tdirectory = %s/.git\n' "$repo" "$repo" >"$safe_config"
GIT_CONFIG_GLOBAL=$safe_config git clone -q "$repo" "$root/src/lumaris-hba"
rm -f -- "$safe_config"
# Mounted in this namespace only, and gone with it.
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"

environment=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
             ${QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$QEMU_RESERVED_VA}
             ${LUMARIS_I386_EMULATED:+LUMARIS_I386_EMULATED=$LUMARIS_I386_EMULATED}
             ${host_certificates:+NODE_EXTRA_CA_CERTS=$host_certificates})
if [ "${1:-}" = --run ]; then
    [ -f "$root/src/lumaris-hba/${2:-}" ] || { echo "test-debian13: no script '${2:-}' in the checkout" >&2; exit 2; }
    exec chroot "$root" /usr/bin/env -i "${environment[@]}" bash "/src/lumaris-hba/$2"
fi
log="$root/src/suite.log"  # inside the root, as above
set +e
chroot "$root" /usr/bin/env -i "${environment[@]}" bash /src/lumaris-hba/scripts/test.sh "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

ctest_summary debian13 "$root" "$status" "$log"
rm -f "$log"
exit "$status"
