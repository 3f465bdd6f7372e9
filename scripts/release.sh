#!/usr/bin/env bash
# Cuts a release of the last commit (HEAD), never of the working tree: the exe
# built alone from the commit's files, stamped and made reproducible from the
# commit's time, optionally signed, and packed into the ZIP with the commit's
# administrator's guide (docs/README.txt, as README.txt) and the third-party
# notices. Beside the ZIP: the SBOM (CycloneDX JSON), the link map both come
# from, TOOLCHAIN (every package it was cut with, and the command that installs
# them) and SHA256SUMS. The same commit and packages give the same bytes.
# Installs what it needs on Debian 12 or 13; prints the ZIP's path last.
#
#   scripts/release.sh [--out DIR] [--sign PFX] [--password-file FILE] [--timestamp URL]
#
# --out (default build/release) must be new or a folder an earlier release made.
# The release is made in a fresh folder that takes the earlier one's place only
# when whole: a failure, Ctrl-C or TERM leaves the earlier release as it was.
# --sign signs the exe (Authenticode, SHA-256) with the certificate and key in
# PFX, whose password comes from FILE or LUMARIS_SIGN_PASSWORD, never from the
# command line where other users can read it; the signature is verified, and
# the exe with it removed must be the unsigned build. --timestamp adds an RFC
# 3161 timestamp, without which the signature stops verifying when the
# certificate expires.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
release_mark=.lumaris-hba-release  # in every folder this script made

usage() {
    echo "usage: $0 [--out DIR] [--sign PFX] [--password-file FILE] [--timestamp URL]" >&2
    exit 2
}
fail() {
    echo "release: $*" >&2
    exit 1
}

out="$repo/build/release" pfx="" password_file="" timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
        --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
        --sign) [ $# -ge 2 ] || usage; pfx=$2; shift 2 ;;
        --password-file) [ $# -ge 2 ] || usage; password_file=$2; shift 2 ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        *) usage ;;
    esac
done
if [ -z "$pfx" ] && { [ -n "$password_file" ] || [ -n "$timestamp" ]; }; then
    fail "--password-file and --timestamp go with --sign"
fi
out=$(realpath -m -- "$out")
[ "$out" != / ] || fail "refusing --out /"
if [ -e "$out" ] || [ -L "$out" ]; then
    [ -d "$out" ] && [ ! -L "$out" ] && [ -f "$out/$release_mark" ] ||
        fail "refusing --out $out: it exists and is not a folder this script made (remove it, or choose another)"
fi

work=$(mktemp -d)
staged="" previous=""
# The earlier release stays as it was unless the new one took its place whole.
finish() {
    local status=$?
    trap '' INT TERM
    if [ -n "$previous" ] && [ -d "$previous" ]; then
        [ -e "$out" ] || mv -T -- "$previous" "$out"
        [ ! -d "$previous" ] || rm -rf -- "$previous"
    fi
    [ -z "$staged" ] || rm -rf -- "$staged"
    rm -rf -- "$work"
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The password as a file for openssl and osslsigncode to read, never as an argument.
password() {
    if [ -n "$password_file" ]; then cat -- "$password_file"; else printf '%s' "${LUMARIS_SIGN_PASSWORD-}"; fi
}

# Checks the certificate before anything is built: readable with the password,
# a code-signing certificate, and not expired.
check_certificate() {
    [ -r "$pfx" ] || fail "cannot read the certificate $pfx"
    if [ -n "$password_file" ]; then
        [ -r "$password_file" ] || fail "cannot read the password file $password_file"
    elif [ -z "${LUMARIS_SIGN_PASSWORD+set}" ]; then
        fail "no password: give --password-file FILE or set LUMARIS_SIGN_PASSWORD"
    fi
    local legacy
    for legacy in "" -legacy; do  # older PFX files use ciphers OpenSSL 3 calls legacy
        if openssl pkcs12 $legacy -in "$pfx" -passin file:<(password) -nokeys -clcerts \
            -out "$work/certificate.pem" 2>/dev/null &&
            openssl pkcs12 $legacy -in "$pfx" -passin file:<(password) -nokeys -cacerts \
                -out "$work/chain.pem" 2>/dev/null; then
            break
        fi
        rm -f "$work/certificate.pem"
    done
    [ -s "$work/certificate.pem" ] || fail "cannot open $pfx: wrong password, or not a PKCS#12 file"
    openssl x509 -in "$work/certificate.pem" -noout -checkend 0 >/dev/null ||
        fail "the certificate in $pfx has expired ($(openssl x509 -in "$work/certificate.pem" -noout -enddate))"
    openssl x509 -in "$work/certificate.pem" -noout -ext extendedKeyUsage 2>/dev/null | grep -q "Code Signing" ||
        fail "the certificate in $pfx is not for code signing (no Code Signing extended key usage)"
    # Verification trusts the root in the PFX's chain when it carries one (a
    # private or test CA), and the system's roots otherwise.
    cat "$work/certificate.pem" "$work/chain.pem" >"$work/trusted.pem"
    if ! openssl verify -CAfile "$work/trusted.pem" "$work/certificate.pem" >/dev/null 2>&1; then
        cp /etc/ssl/certs/ca-certificates.crt "$work/trusted.pem"
    fi
}

# What TOOLCHAIN names and a rebuilder installs.
source "$repo/scripts/install-packages.sh"
build_tools=("${lumaris_release_tools[@]}")
release_packages=("${lumaris_release_packages[@]}")
install_packages "${release_packages[@]}"
if [ -n "$pfx" ]; then
    install_packages osslsigncode openssl
    check_certificate
fi

# The source is the commit's, not the working tree's. The checkout may belong to
# another user (sudo on a developer's clone), which git accepts only when told.
repo_git() {
    git -c safe.directory="$repo" -C "$repo" "$@"
}
commit=$(repo_git rev-parse --verify HEAD)
if [ -n "$(repo_git status --porcelain --untracked-files=no)" ]; then
    echo "warning: the working tree has uncommitted changes; they are not in this release of ${commit:0:12}" >&2
fi
mkdir "$work/source"
repo_git archive --format=tar "$commit" | tar -x -C "$work/source"

# The build: the stamp and every byte from the commit's time.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(repo_git log -1 --format=%ct "$commit")
build="$work/build"
link_map="$build/lumaris-hba.map"  # what the linker took from where: the SBOM's source
cmake -S "$work/source" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/mingw-i686.cmake" -DLUMARIS_BUILD_TESTS=OFF \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-Map=$link_map" >&2
cmake --build "$build" --target lumaris-hba -j 2 >&2
exe="$build/bin/lumaris-hba.exe"

if [ -n "$pfx" ]; then
    timestamp_option=()
    if [ -n "$timestamp" ]; then
        timestamp_option=(-ts "$timestamp")
    else
        echo "warning: no --timestamp: the signature stops verifying when the certificate expires" \
             "($(openssl x509 -in "$work/certificate.pem" -noout -enddate | cut -d= -f2))" >&2
    fi
    osslsigncode sign -pkcs12 "$pfx" -readpass <(password) -h sha256 -n "Torvane Lumaris" \
        "${timestamp_option[@]}" -in "$exe" -out "$work/signed.exe" >"$work/sign.log" 2>&1 ||
        fail "signing failed: $(grep -v '^$' "$work/sign.log" | tail -n 3 | tr '\n' ' ')"
    osslsigncode verify -CAfile "$work/trusted.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1 ||
        fail "the signature does not verify: $(grep -v '^$' "$work/verify.log" | tail -n 3 | tr '\n' ' ')"
    osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned-again.exe" >/dev/null 2>&1 &&
        cmp -s "$work/unsigned-again.exe" "$exe" ||
        fail "the signed exe, its signature removed, is not the unsigned build"
    cp "$work/signed.exe" "$exe"
    echo "Signed: $(openssl x509 -in "$work/certificate.pem" -noout -subject)" >&2
else
    echo "warning: unsigned release (give --sign PFX to sign it)" >&2
fi

# What built it: enough for a third party to rebuild the same bytes.
toolchain() {
    local package installed pinned=()
    echo "lumaris-hba $version, commit $commit, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
    echo "system: $(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "compiler: $(i686-w64-mingw32-g++-posix --version | head -n 1)"
    echo "binutils: $(i686-w64-mingw32-ld --version | head -n 1)"
    echo "packages, at the versions that cut this release:"
    for package in "${release_packages[@]}"; do
        installed=$(dpkg-query -W -f='${Version}' "$package")  # install_packages ran above
        echo "$package $installed"
        # base-files is on every Debian system, and pinning it would downgrade it.
        [ "$package" = base-files ] || pinned+=("$package=$installed")
    done
    echo "to install them: apt-get install --no-install-recommends ${pinned[*]}"
}

# The SBOM and the notices, from the link map; the SBOM's hash is the final (signed) exe's.
version=$(sed -n -E 's/^project\(lumaris-hba VERSION ([0-9.]+).*/\1/p' "$work/source/CMakeLists.txt")
sbom_name="lumaris-hba-$version.cdx.json"
python3 "$work/source/scripts/bill_of_materials.py" --map "$link_map" --exe "$exe" --version "$version" \
    --commit "$commit" "${build_tools[@]/#/--toolchain-package=}" \
    --sbom "$work/$sbom_name" --notices "$work/THIRD-PARTY-NOTICES.txt"

# The ZIP: entries in a fixed order, times from SOURCE_DATE_EPOCH written as UTC
# (ZIP keeps local time, so TZ is fixed), fixed permissions, no extra fields
# (owner, access times).
package="$work/package"
mkdir "$package"
cp "$exe" "$work/THIRD-PARTY-NOTICES.txt" "$package/"
cp "$work/source/docs/README.txt" "$package/README.txt"
chmod 0644 "$package"/*
touch -d "@$SOURCE_DATE_EPOCH" "$package"/*
zip_name="lumaris-hba-$version-win32.zip"
mkdir -p -- "$(dirname "$out")"
staged=$(mktemp -d "$(dirname "$out")/.release-staged.XXXXXX")  # beside it: the move into place is a rename
(cd "$package" && TZ=UTC zip -X -q "$staged/$zip_name" lumaris-hba.exe README.txt THIRD-PARTY-NOTICES.txt)
cp "$work/$sbom_name" "$link_map" "$staged/"
toolchain >"$staged/TOOLCHAIN"
(cd "$staged" && sha256sum "$zip_name" "$sbom_name" lumaris-hba.map TOOLCHAIN >SHA256SUMS)
touch "$staged/$release_mark"
chmod 0755 "$staged"

# Into place, without a moment in which a signal could leave neither release.
trap '' INT TERM
if [ -e "$out" ]; then
    previous="$out.previous.$$"
    mv -T -- "$out" "$previous"
fi
mv -T -- "$staged" "$out"
staged=""
rm -rf -- "$previous"
previous=""
trap 'exit 130' INT
trap 'exit 143' TERM
echo "$out/$zip_name"
