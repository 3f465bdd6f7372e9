#!/usr/bin/env bash
# Runs the README's test command (scripts/test.sh) on this checkout's HEAD in a
# Debian 13 (trixie) root of the project's own, so that the suite also runs on
# Debian 13's Wine, MinGW-w64 and CMake whatever this host is. Needs root.
# Arguments go to ctest; with --run SCRIPT first it runs that script of the
# checkout (such as .ci/check-reproducible.sh) in the root instead.
#
# The root (LUMARIS_DEBIAN13_ROOT, default /var/cache/lumaris-hba/debian13) is
# made once with mmdebstrap and entered with bubblewrap (scripts/debian-root.sh):
# a path that is not absolute, is /, or holds something not made here is refused
# before anything is written. One run at a time: a second waits for the first.
# Where the host runs 32-bit programs under qemu-i386, so does the root.
# Its last line sums the run up, for instance:
#   debian13: Debian GNU/Linux 13 (trixie), wine 10.0~repack-6: 100% tests passed, 0 tests failed out of 18 (exit 0); total 231.52 s
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "$0 needs root: it makes a Debian root and enters it" >&2; exit 1; }
source "$repo/scripts/debian-root.sh"
source "$repo/.ci/ctest-summary.sh"

check_root_path "${LUMARIS_DEBIAN13_ROOT:-/var/cache/lumaris-hba/debian13}"
if [ -z "${LUMARIS_SANDBOXED:-}" ]; then
    mkdir -p -- "$(dirname "$root")"
    exec 9>"$root.lock"  # held by the sandbox, and released with it
    flock -n 9 || { echo "test-debian13: another run uses $root; waiting for it" >&2; flock 9; }
fi
enter_sandbox -- bash "$0" "$@"
make_root trixie "$root"

# A fresh clone of HEAD. The checkout may belong to another user (sudo on a
# developer's clone), which git accepts only when told.
rm -rf --one-file-system -- "$root/src/lumaris-hba"
git -c safe.directory="$repo" -c safe.directory="$repo/.git" clone -q "$repo" "$root/src/lumaris-hba"
if [ "${1:-}" = --run ]; then
    [ -f "$root/src/lumaris-hba/${2:-}" ] || { echo "test-debian13: no script '${2:-}' in the checkout" >&2; exit 2; }
    in_root "$root" bash "/src/lumaris-hba/$2"
    exit
fi
log="$root/src/suite.log"  # in the root: a killed run leaves nothing on the host
status=0
in_root "$root" bash /src/lumaris-hba/scripts/test.sh "$@" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
ctest_summary debian13 "$root" "$status" "$log"
rm -f -- "$log"
exit "$status"
