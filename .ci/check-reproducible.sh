#!/usr/bin/env bash
# Proves the release reproducible and what it says of itself true:
# scripts/release.sh, run in two clones of this checkout's HEAD (one on disk,
# one on tmpfs), in different folders, time zones and umasks, gives the same
# ZIP, SBOM, link map, TOOLCHAIN and SHA256SUMS byte for byte; the build stamp
# comes from the commit's time; the ZIP holds the exe, the administrator's guide
# (the commit's docs/README.txt, byte for byte) and the third-party notices,
# which refer to no file of the build machine; an uncommitted edit of the guide
# in the second clone is not released.
# The SBOM is valid CycloneDX 1.5 (checked offline against the schema an npm
# package ships), its exe hash is the packaged exe's, it lists every package the
# link map takes code from and this host's toolchain, and the notices name
# every one of those packages.
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
        printf 'an edit that was never committed\r\n' >>"$work/clone/docs/README.txt"
    fi
    (umask "$mask" && TZ=$zone "$work/clone/scripts/release.sh" --out "$work/release" >"$work/out" 2>"$work/err") ||
        fail "the release in $work failed: $(tail -n 3 "$work/err")"
}
release "$on_disk" UTC 0022
release "$in_memory" 'XYZ-13:45' 0077  # a zone 13 h 45 min east of UTC, with no tzdata needed

sbom_name=lumaris-hba-8.0.0.0.cdx.json
for file in lumaris-hba-8.0.0.0-win32.zip "$sbom_name" lumaris-hba.map TOOLCHAIN SHA256SUMS; do
    cmp "$on_disk/release/$file" "$in_memory/release/$file" || fail "$file differs between the two releases"
done
grep -q "uncommitted changes" "$in_memory/err" || fail "no warning that uncommitted changes are not released"
(cd "$on_disk/release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"

zip="$on_disk/release/lumaris-hba-8.0.0.0-win32.zip"
contents=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$contents" = "lumaris-hba.exe README.txt THIRD-PARTY-NOTICES.txt " ] || fail "the ZIP holds, in this order: $contents"
unzip -p "$zip" README.txt | cmp - <(git -C "$repo" show HEAD:docs/README.txt) || fail "the guide is not the commit's"
epoch=$(git -C "$repo" log -1 --format=%ct HEAD)
stamp="Build on $(LC_ALL=C TZ=UTC date -d "@$epoch" '+%b %e %Y %H:%M:%S') (32-bit)"
unzip -p "$zip" lumaris-hba.exe >"$on_disk/lumaris-hba.exe"
grep -qF "$stamp" "$on_disk/lumaris-hba.exe" || fail "the stamp is not \"$stamp\""
if grep -qF -e "$on_disk" -e "$in_memory" "$on_disk/lumaris-hba.exe"; then fail "a build path is in the exe"; fi

# The SBOM and the notices against the build they describe.
sbom="$on_disk/release/$sbom_name"
notices=$(unzip -p "$zip" THIRD-PARTY-NOTICES.txt | tr -d '\r')
if grep -q /usr/share/ <<<"$notices"; then fail "the notices refer to a file of the build machine"; fi
sbom_field() {  # a Python expression over the document d
    python3 -c "import json, sys; d = json.load(open(sys.argv[1])); print($1)" "$sbom"
}
[ "$(sbom_field 'd["metadata"]["component"]["hashes"][0]["content"]')" = \
  "$(sha256sum "$on_disk/lumaris-hba.exe" | cut -d' ' -f1)" ] || fail "the SBOM's exe hash is not the packaged exe's"
listed=" $(sbom_field '" ".join(c["name"] + "=" + c["version"] for c in d["components"])') "
tools=" $(sbom_field '" ".join(t["name"] + "=" + t["version"] for t in d["metadata"]["tools"]["components"])') "
# Every absolute path the link took code from: archives that gave members, object files loaded whole.
linked_paths=$(awk '/^Archive member included/ { members = 1; next }
                    /^(Discarded input sections|Memory Configuration)/ { members = 0 }
                    members && /^\// { sub(/\([^()]*\)$/, ""); print }
                    /^LOAD \/.*\.(o|obj)$/ { print $2 }' "$on_disk/release/lumaris-hba.map" | sort -u)
[ -n "$linked_paths" ] || fail "the link map names no third-party file"
for path in $linked_paths; do
    package=$(dpkg-query -S "$(realpath "$path")" | cut -d: -f1)
    version=$(dpkg-query -W -f='${Version}' "$package")
    [[ "$listed" == *" $package=$version "* ]] || fail "the SBOM does not list $package $version, which gave $path"
    grep -qxF "Package: $package $version" <<<"$notices" || fail "the notices do not name $package $version"
done
for package in g++-mingw-w64-i686-posix binutils-mingw-w64-i686; do
    [[ "$tools" == *" $package=$(dpkg-query -W -f='${Version}' "$package") "* ]] ||
        fail "the SBOM's toolchain does not list this host's $package"
done
source "$repo/scripts/install-packages.sh"
command -v npm >/dev/null || install_packages nodejs npm
(cd "$on_disk" && npm install --no-audit --no-fund --silent @cyclonedx/cyclonedx-library@10.3.0 ajv@8 \
    ajv-formats@3 ajv-formats-draft2019@1 >/dev/null 2>&1) || fail "cannot install the CycloneDX schema from npm"
NODE_PATH="$on_disk/node_modules" node "$repo/.ci/validate-sbom.js" "$sbom" >"$on_disk/schema-errors" ||
    fail "the SBOM is not valid CycloneDX 1.5: $(head -c 600 "$on_disk/schema-errors")"

echo "PASS: identical ZIP, SBOM, link map, TOOLCHAIN and SHA256SUMS from clones on disk and on tmpfs, in two" \
     "time zones (exe $(stat -c %s "$on_disk/lumaris-hba.exe") bytes, ZIP sha256 $(sha256sum "$zip" | cut -c1-16)...)," \
     "stamp from the commit's time, the guide the commit's, an uncommitted edit not released; SBOM valid CycloneDX 1.5 listing the exe's" \
     "hash, every linked package ($(echo $listed)) and this host's toolchain; notices name each"
