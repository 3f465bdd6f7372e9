#!/usr/bin/env bash
# Proves the release reproducible and what it says of itself true (as root).
# reprotest cuts scripts/release.sh's release of a clone of HEAD three times: a
# control; one varying build path, time, time zone, umask, locale, host and
# domain name, user and group, CPU count, kernel release, home, PATH and
# environment; one varying file ordering (disorderfs, which only root may mount
# here) instead of the user. Their ZIP, SBOM, link map, TOOLCHAIN and SHA256SUMS
# must be identical: on a difference it prints diffoscope's report, names the
# variations that cause it (reprotest --auto-build) and fails. The clone carries
# an uncommitted edit of the guide, which each build must warn of and leave out.
# Then, of the control's release: the stamp, the ZIP's entries and guide, the
# notices, and the SBOM (valid CycloneDX 1.5, its exe hash, every linked package
# and this host's toolchain). All in a bubblewrap sandbox whose /tmp is its own
# and whose user database adds a rebuilder: nothing is left on the host.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
fail() {
    echo "FAIL: $*"
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root, to vary the user and the host name"
builder=lumaris-rebuilder
if [ -z "${LUMARIS_SANDBOXED:-}" ]; then
    source "$repo/scripts/install-packages.sh"
    source "$repo/scripts/sandbox.sh"
    install_packages "${lumaris_release_packages[@]}" reprotest diffoscope-minimal faketime disorderfs sudo unzip
    command -v npm >/dev/null || install_packages nodejs npm
    id=64000
    while getent passwd "$id" >/dev/null || getent group "$id" >/dev/null; do id=$((id + 1)); done
    ! getent passwd "$builder" >/dev/null || fail "this host already has a user $builder"
    enter_sandbox --perms 1777 --tmpfs /tmp --bind "$repo" "$repo" \
        --perms 0644 --ro-bind-data 3 /etc/passwd --perms 0644 --ro-bind-data 4 /etc/group \
        -- bash "$repo/.ci/check-reproducible.sh" "$@" 3< <(cat /etc/passwd && echo "$builder:x:$id:$id::/nonexistent:/usr/sbin/nologin") \
        4< <(cat /etc/group && echo "$builder:x:$id:")
fi

work=$(mktemp -d)
git -c safe.directory="$repo" clone -q --no-hardlinks "$repo" "$work/source"
printf 'an edit that was never committed\r\n' >>"$work/source/docs/README.txt"
# reprotest 0.7.23 (Debian 12) hands sudo "-h localhost", which sudo 1.9.13 refuses outside -l.
mkdir "$work/bin"
printf '#!/bin/sh\n[ "$1 $2" != "-h localhost" ] || shift 2\nexec /usr/bin/sudo "$@"\n' >"$work/bin/sudo"
chmod 0755 "$work/bin/sudo"
export PATH="$work/bin:$PATH"

build='scripts/release.sh --out release 2>release.log || { tail -n 20 release.log; exit 1; } >&2
       grep -q "uncommitted changes" release.log || { echo "no warning that uncommitted changes are not released" >&2; exit 1; }'
vary=-fileordering,user_group.available+=$builder:$builder,domain_host.use_sudo=1
reprotest() {
    command reprotest --min-cpus=1 --vary="$vary" "$@" -s "$work/source" "$build" 'release/*' >"$work/reprotest.log" 2>&1
}
status=0
reprotest --extra-build=+fileordering,-user_group --store-dir="$work/store" || status=$?
[ "$status" -ne 125 ] || fail "reprotest could not build: $(grep -v '^ ' "$work/reprotest.log" | tail -n 20)"
grep '^WARNING' "$work/reprotest.log" >&2 || true  # what it cannot vary here
if [ "$status" -ne 0 ]; then
    grep -v '^INFO:' "$work/reprotest.log" | head -c 30000  # with diffoscope's report
    grep -q "partially successful: in experiment-1" "$work/reprotest.log" &&
        fail "the releases differ when the file ordering varies"
    reprotest --auto-build || true
    fail "the releases differ when these vary: $(grep -A1 '^Observed unreproducibility' "$work/reprotest.log" | tail -n 1)"
fi
release="$work/store/control/source-root/release"
(cd "$release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"

zip="$release/lumaris-hba-8.0.0.0-win32.zip"
contents=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$contents" = "lumaris-hba.exe README.txt THIRD-PARTY-NOTICES.txt " ] || fail "the ZIP holds, in this order: $contents"
unzip -p "$zip" README.txt | cmp - <(git -C "$repo" show HEAD:docs/README.txt) || fail "the guide is not the commit's"
epoch=$(git -C "$repo" log -1 --format=%ct HEAD)
stamp="Build on $(LC_ALL=C TZ=UTC date -d "@$epoch" '+%b %e %Y %H:%M:%S') (32-bit)"
unzip -p "$zip" lumaris-hba.exe >"$work/lumaris-hba.exe"
grep -qF "$stamp" "$work/lumaris-hba.exe" || fail "the stamp is not \"$stamp\""

# The SBOM and the notices against the build they describe.
sbom="$release/lumaris-hba-8.0.0.0.cdx.json"
notices=$(unzip -p "$zip" THIRD-PARTY-NOTICES.txt | tr -d '\r')
if grep -q /usr/share/ <<<"$notices"; then fail "the notices refer to a file of the build machine"; fi
sbom_field() {  # a Python expression over the document d
    python3 -c "import json, sys; d = json.load(open(sys.argv[1])); print($1)" "$sbom"
}
[ "$(sbom_field 'd["metadata"]["component"]["hashes"][0]["content"]')" = \
  "$(sha256sum "$work/lumaris-hba.exe" | cut -d' ' -f1)" ] || fail "the SBOM's exe hash is not the packaged exe's"
listed=" $(sbom_field '" ".join(c["name"] + "=" + c["version"] for c in d["components"])') "
tools=" $(sbom_field '" ".join(t["name"] + "=" + t["version"] for t in d["metadata"]["tools"]["components"])') "
# Every absolute path the link took code from: archives that gave members, object files loaded whole.
linked_paths=$(awk '/^Archive member included/ { members = 1; next }
                    /^(Discarded input sections|Memory Configuration)/ { members = 0 }
                    members && /^\// { sub(/\([^()]*\)$/, ""); print }
                    /^LOAD \/.*\.(o|obj)$/ { print $2 }' "$release/lumaris-hba.map" | sort -u)
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
(cd "$work" && npm install --no-audit --no-fund --silent @cyclonedx/cyclonedx-library@10.3.0 ajv@8 \
    ajv-formats@3 ajv-formats-draft2019@1 >/dev/null 2>&1) || fail "cannot install the CycloneDX schema from npm"
NODE_PATH="$work/node_modules" node "$repo/.ci/validate-sbom.js" "$sbom" >"$work/schema-errors" ||
    fail "the SBOM is not valid CycloneDX 1.5: $(head -c 600 "$work/schema-errors")"

echo "PASS: identical ZIP, SBOM, link map, TOOLCHAIN and SHA256SUMS under reprotest's variations" \
     "(exe $(stat -c %s "$work/lumaris-hba.exe") bytes, ZIP sha256 $(sha256sum "$zip" | cut -c1-16)...);" \
     "stamp from the commit's time, the guide the commit's, an uncommitted edit not released; SBOM valid" \
     "CycloneDX 1.5 listing the exe's hash, every linked package ($(echo $listed)) and this host's toolchain; notices name each"
