# Sourced by the scripts that work in Debian roots of the project's own
# (.ci/test-debian13.sh, scripts/bench-first-run.sh), as root:
#   check_root_path GIVEN  sets root to GIVEN resolved, or refuses it (exit 2)
#                          unless it is absolute, not / and new or made here;
#   enter_sandbox ...      from scripts/sandbox.sh;
#   make_root SUITE DIR    makes a root in DIR with mmdebstrap unless one is there;
#   in_root DIR COMMAND... runs COMMAND inside the root DIR, in a clean environment.
# Every mount (bubblewrap's, mmdebstrap's) and process is the sandbox's, and
# ends with it when the script's first process ends, SIGKILL included.
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/install-packages.sh"
source "$repo/scripts/sandbox.sh"
source "$repo/cmake/wine-env.sh"  # what an emulated host passes into a root
install_packages mmdebstrap

root_mark=.lumaris-hba-root        # in a finished root
partial_mark=.lumaris-hba-partial  # in the folder a root is being made in

refuse() {
    echo "$(basename "$0"): refusing $*" >&2
    exit 2
}

# An existing path must be a real folder holding the mark, not a link to one.
marked_folder() {
    [ -d "$1" ] && [ ! -L "$1" ] && [ -f "$1/$2" ] && [ ! -L "$1/$2" ]
}

check_root_path() {
    [[ "$1" == /* ]] || refuse "the root '$1': not an absolute path"
    root=$(realpath -m -- "$1")
    [ "$root" != / ] || refuse "the root '$1': it is / once resolved"
    if [ -e "$root" ] || [ -L "$root" ]; then
        marked_folder "$root" "$root_mark" || refuse "the root '$1' ($root): it exists and is not a root made here"
    fi
    if [ -e "$root.partial" ] || [ -L "$root.partial" ]; then
        marked_folder "$root.partial" "$partial_mark" || refuse "'$root.partial': it exists and is not ours"
    fi
}

# Made in a marked folder beside it and moved into place only when whole: a
# failed or killed run leaves no half-made root, and the last good one stays.
make_root() {
    local dir=$2
    marked_folder "$dir" "$root_mark" && return 0
    echo "Making a Debian $1 root in $dir with mmdebstrap" >&2
    rm -rf --one-file-system -- "$dir.partial"
    mkdir -p -- "$dir.partial"
    touch -- "$dir.partial/$partial_mark"
    mmdebstrap --mode=root --variant=minbase --include=git,ca-certificates --quiet \
        --customize-hook="touch \"\$1/$root_mark\"" "$1" "$dir.partial/tree" "$(debian_mirror)" >&2
    mv -T -- "$dir.partial/tree" "$dir"
    rm -rf -- "$dir.partial"
}

# What the host trusts, the root trusts too (a proxy that inspects TLS, say),
# for npm, which the release check uses.
in_root() {
    local dir=$1
    shift
    bwrap --bind "$dir" / --dev /dev --perms 1777 --tmpfs /dev/shm --dev-bind-try /dev/fuse /dev/fuse --proc /proc --ro-bind /sys /sys \
        --perms 1777 --tmpfs /tmp --ro-bind /etc/resolv.conf /etc/resolv.conf \
        --ro-bind-try /etc/ssl/certs/ca-certificates.crt /etc/ssl/host-ca-certificates.crt \
        --unshare-pid --unshare-uts --die-with-parent --cap-add ALL -- \
        /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        NODE_EXTRA_CA_CERTS=/etc/ssl/host-ca-certificates.crt \
        ${QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$QEMU_RESERVED_VA} \
        ${LUMARIS_I386_EMULATED:+LUMARIS_I386_EMULATED=$LUMARIS_I386_EMULATED} "$@"
}
