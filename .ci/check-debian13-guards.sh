#!/usr/bin/env bash
# Proves that .ci/test-debian13.sh cannot harm the host it runs on (as root).
# 1. It refuses every root it must refuse, with a message, before it does
#    anything: each case runs in a bubblewrap sandbox in which the whole host is
#    read-only, so even a broken guard could not write; and the folders offered
#    to it are unchanged afterwards.
# 2. A real run (in the root the Debian 13 leg made) killed with SIGKILL while
#    its suite runs inside the root leaves no mount and no process behind.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
script="$repo/.ci/test-debian13.sh"
fail() {
    echo "FAIL: $*"
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root, as .ci/test-debian13.sh does"
source "$repo/scripts/debian-root.sh"  # installs what the script needs before the host turns read-only

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
mkdir -p "$work/foreign/bin" "$work/fresh.partial"
echo "data of someone else's" >"$work/foreign/keep"  # a folder, but not a root made here
echo "not a root this script began" >"$work/fresh.partial/keep"
ln -s / "$work/link-to-slash"
state() {
    find "$work" -printf '%p %y %s %m %l\n' | LC_ALL=C sort
    findmnt -rn -o TARGET | LC_ALL=C sort
}
before=$(state)
for given in / /tmp/.. relative/root "$work/link-to-slash" "$work/link-to-slash/" "$work/foreign" "$work/fresh"; do
    status=0
    bwrap --ro-bind / / --dev /dev --proc /proc --unshare-pid --die-with-parent -- \
        env LUMARIS_DEBIAN13_ROOT="$given" bash "$script" >"$work/.out" 2>&1 || status=$?
    [ "$status" -eq 2 ] && grep -q "refusing" "$work/.out" ||
        fail "root '$given' was not refused (exit $status): $(tail -n 2 "$work/.out")"
    rm -f "$work/.out"
done
[ "$(state)" = "$before" ] || fail "a refused run changed the folders offered to it or the mounts"

root=/var/cache/lumaris-hba/debian13
if [ -n "${LUMARIS_DEBIAN13_ROOT:-}" ] || [ ! -f "$root/$root_mark" ]; then
    echo "PASS: every root to refuse refused, nothing changed (no Debian 13 root here for the SIGKILL case)"
    exit 0
fi
# The processes running in the root: their root directory is its folder. (Seen
# from the host, a sandboxed process's root reads as "/", so compare inodes.)
root_id=$(stat -c %d:%i "$root")
inside() {
    stat -L -c '%n %d:%i' /proc/[0-9]*/root 2>/dev/null | awk -v id="$root_id" '$2 == id { split($1, p, "/"); print p[3] }'
}
setsid bash "$script" >"$work/run.log" 2>&1 &
run=$!
suite_running=false
for _ in $(seq 1800); do
    for pid in $(inside); do
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = ctest ] && suite_running=true
    done
    $suite_running || ! kill -0 "$run" 2>/dev/null && break
    sleep 0.1
done
$suite_running || fail "the suite never ran inside the root: $(tail -n 3 "$work/run.log")"
sleep 2
kill -KILL "$run"
wait "$run" 2>/dev/null || true
for _ in $(seq 100); do
    [ -z "$(inside)" ] && break
    sleep 0.1
done
[ -z "$(inside)" ] || fail "processes still run inside the root after SIGKILL: $(inside | tr '\n' ' ')"
if grep -qF " $root" /proc/[0-9]*/mountinfo 2>/dev/null; then
    fail "a mount of the root outlived the run: $(grep -lF " $root" /proc/[0-9]*/mountinfo | head -n 3)"
fi
echo "PASS: every root to refuse refused, nothing changed; a run killed with SIGKILL during its suite left no mount and no process"
