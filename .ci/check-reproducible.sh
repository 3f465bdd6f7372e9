#!/usr/bin/env bash
# Proves the release reproducible: scripts/release.sh, run in two clones of this
# checkout's HEAD (one on disk, one on tmpfs), in different folders, time zones
# and umasks, gives the same ZIP, TOOLCHAIN and SHA256SUMS byte for byte; the
# build stamp comes from the commit's time; the ZIP holds just the exe and the
# README; and an uncommitted edit in the second clone is not released.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
fail() {
    echo "FAIL: $*"
    exit 1
}

on_disk=$(mktemp -d /var/tmp/lumaris-reproducible.XXXXXX)
in_memory=""
trap 'rm -rf -- "$on_disk" ${in_memory:+"$in_memory"}' EXIT
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
    in_memory=$(mktemp -d /dev/shm/lumaris-reproducible.XXXXXX)
else
    echo "note: /dev/shm is not tmpfs here; the second clone is on disk as well" >&2
    in_memory=$(mktemp -d /var/tmp/lumaris-reproducible.XXXXXX)
fi

# release WORK TZ UMASK: clones HEAD into WORK/clone and cuts a release there.
release() {
    local work=$1 zone=$2 mask=$3
    git -c safe.directory="$repo" clone -q --no-hardlinks "$repo" "$work/clone"
    if [ "$work" = "$in_memory" ]; then
        echo "an edit that was never committed" >>"$work/clone/README.md"
    fi
    (umask "$mask" && TZ=$zone "$work/clone/scripts/release.sh" --out "$work/release" >"$work/out" 2>"$work/err") ||
        fail "the release in $work failed: $(tail -n 3 "$work/err")"
}
release "$on_disk" UTC 0022
release "$in_memory" 'XYZ-13:45' 0077  # a zone 13 h 45 min east of UTC, with no tzdata needed

for file in lumaris-hba-8.0.0.0-win32.zip TOOLCHAIN SHA256SUMS; do
    cmp "$on_disk/release/$file" "$in_memory/release/$file" || fail "$file differs between the two releases"
done
grep -q "uncommitted changes" "$in_memory/err" || fail "no warning that uncommitted changes are not released"
(cd "$on_disk/release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"

zip="$on_disk/release/lumaris-hba-8.0.0.0-win32.zip"
contents=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$contents" = "lumaris-hba.exe README.md " ] || fail "the ZIP holds, in this order: $contents"
unzip -p "$zip" README.md | cmp - <(git -C "$repo" show HEAD:README.md) || fail "the README is not the commit's"
epoch=$(git -C "$repo" log -1 --format=%ct HEAD)
stamp="Build on $(LC_ALL=C TZ=UTC date -d "@$epoch" '+%b %e %Y %H:%M:%S') (32-bit)"
unzip -p "$zip" lumaris-hba.exe >"$on_disk/lumaris-hba.exe"
grep -qF "$stamp" "$on_disk/lumaris-hba.exe" || fail "the stamp is not \"$stamp\""
if grep -qF -e "$on_disk" -e "$in_memory" "$on_disk/lumaris-hba.exe"; then fail "a build path is in the exe"; fi
echo "PASS: identical ZIP, TOOLCHAIN and SHA256SUMS from clones on disk and on tmpfs, in two time zones" \
     "(exe $(stat -c %s "$on_disk/lumaris-hba.exe") bytes, ZIP sha256 $(sha256sum "$zip" | cut -c1-16)...)," \
     "stamp from the commit's time, the ZIP holds the exe and the README, an uncommitted edit not released"
