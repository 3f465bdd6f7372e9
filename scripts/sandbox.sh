# Sourced by the scripts that must leave nothing behind however they end (as
# root): enter_sandbox [BWRAP-OPTION...] -- COMMAND... execs COMMAND (the
# calling script again) in a bubblewrap sandbox of the host, unless already in
# one. The sandbox has its own mount and pid namespaces: every mount made in it
# and every process in it ends when its first process does, SIGKILL included.
source "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh"
install_packages bubblewrap

enter_sandbox() {
    [ -z "${LUMARIS_SANDBOXED:-}" ] || return 0
    local options=()
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    LUMARIS_SANDBOXED=1 exec bwrap --dev-bind / / --proc /proc "${options[@]}" \
        --unshare-pid --die-with-parent --cap-add ALL -- "$@"
}
