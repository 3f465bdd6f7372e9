#!/usr/bin/env bash
# Cuts a release: a clean build of the exe alone (build/release), stamped and
# made reproducible from the last commit's time, optionally signed, packed into
# the ZIP with the README, and a SHA256SUMS beside the ZIP. Prints the ZIP's path
# as its last line.
#
#   scripts/release.sh [--sign PFX] [--password-file FILE] [--timestamp URL]
#
# --sign signs the exe with the code-signing certificate and key in PFX
# (Authenticode, SHA-256), checks the signature, and checks that the signed exe
# with its signature removed is the unsigned build byte for byte, all before
# packing. The PFX password comes from FILE, or else from the environment
# variable LUMARIS_SIGN_PASSWORD; never from the command line, where other users
# of the machine can read it. --timestamp adds an RFC 3161 timestamp from that
# server, without which the signature stops verifying when the certificate
# expires. On any failure it exits non-zero and leaves no ZIP behind.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$repo/build/release"

usage() {
    echo "usage: $0 [--sign PFX] [--password-file FILE] [--timestamp URL]" >&2
    exit 2
}
fail() {
    echo "release: $*" >&2
    exit 1
}

pfx="" password_file="" timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
        --sign) [ $# -ge 2 ] || usage; pfx=$2; shift 2 ;;
        --password-file) [ $# -ge 2 ] || usage; password_file=$2; shift 2 ;;
        --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
        *) usage ;;
    esac
done
if [ -z "$pfx" ] && { [ -n "$password_file" ] || [ -n "$timestamp" ]; }; then
    fail "--password-file and --timestamp go with --sign"
fi

work=$(mktemp -d)
# A half-made release must never look like one: on failure nothing is left.
finish() {
    local status=$?
    rm -rf "$work"
    [ "$status" -eq 0 ] || rm -f "$out"/*.zip "$out/SHA256SUMS"
}
trap finish EXIT

# The password as a file for openssl and osslsigncode to read, never as an argument.
password() {
    if [ -n "$password_file" ]; then
        cat -- "$password_file"
    else
        printf '%s' "${LUMARIS_SIGN_PASSWORD-}"
    fi
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

if [ -n "$pfx" ]; then
    source "$repo/scripts/install-packages.sh"
    install_packages osslsigncode openssl
    check_certificate
fi

# The build: a clean folder, the stamp and every byte from the last commit.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$repo" log -1 --format=%ct)
rm -rf "$out"
cmake -S "$repo" -B "$out" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" -DLUMARIS_BUILD_TESTS=OFF >&2
cmake --build "$out" --target lumaris-hba -j 2 >&2
exe="$out/bin/lumaris-hba.exe"

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

(cd "$out" && cpack -G ZIP >&2)
zips=("$out"/*.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "cpack did not make one ZIP in $out"
(cd "$out" && sha256sum "$(basename "${zips[0]}")" >SHA256SUMS)
echo "${zips[0]}"
