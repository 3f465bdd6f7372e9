#!/usr/bin/env bash
# Proves scripts/release.sh with a throwaway certificate made here (self-signed,
# for code signing; its key never leaves a temporary folder), in a release
# folder of its own: the signed release verifies against that certificate, runs
# under Wine and prints the report, and with its signature removed is the
# unsigned release's exe byte for byte; a missing certificate, a wrong password,
# an expired certificate, a certificate that is not for code signing, and a
# TERM while it builds each fail with a message and leave the earlier release
# as it was; a folder the script did not make is refused.
# Needs the build tree's Wine prefix (scripts/test.sh makes it).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
release="$repo/scripts/release.sh"
work=$(mktemp -d)
out="$work/release"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
source "$repo/scripts/install-packages.sh"
install_packages openssl faketime

# make_pfx NAME USAGE TIME: a key and a self-signed certificate valid for a
# year from TIME (faketime's), packed with the password into NAME's PFX.
make_pfx() {
    mkdir -p "$work/$1"
    faketime "$3" openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1/key.pem" -days 365 \
        -subj "/CN=Lumaris throwaway $1" -addext "basicConstraints=critical,CA:false" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=$2" \
        -out "$work/$1/certificate.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$work/$1/key.pem" -in "$work/$1/certificate.pem" \
        -passout file:"$work/password" -out "$work/$1/certificate.pfx"
}
printf 'throwaway-%s' "$(openssl rand -hex 6)" >"$work/password"
make_pfx good codeSigning now
make_pfx expired codeSigning 2020-01-01
make_pfx server serverAuth now
printf 'not-the-password' >"$work/wrong-password"

# Runs release.sh; keeps its stdout and stderr; the exit status is returned.
cut_release() {
    local status=0
    "$release" --out "$out" "$@" >"$work/out" 2>"$work/err" || status=$?
    return $status
}
# What the release folder holds, byte for byte.
release_digest() {
    (cd "$out" && find . -type f | LC_ALL=C sort | xargs sha256sum)
}
unzip_exe() {
    unzip -p "$(tail -n 1 "$work/out")" lumaris-hba.exe >"$1"
}

cut_release || fail "the unsigned release failed: $(tail -n 3 "$work/err")"
grep -q "unsigned release" "$work/err" || fail "the unsigned release does not say so"
unzip_exe "$work/unsigned.exe"
(cd "$out" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the ZIP"

cut_release --sign "$work/good/certificate.pfx" --password-file "$work/password" ||
    fail "the signed release failed: $(tail -n 3 "$work/err")"
grep -q "no --timestamp" "$work/err" || fail "no warning about the missing timestamp"
if grep -qF "$(cat "$work/password")" "$work/out" "$work/err"; then fail "the password appears in the output"; fi
unzip_exe "$work/signed.exe"
osslsigncode verify -CAfile "$work/good/certificate.pem" -in "$work/signed.exe" >"$work/verify" 2>&1 ||
    fail "the signed exe does not verify against the certificate: $(tail -n 3 "$work/verify")"
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/removed.exe" >/dev/null
cmp -s "$work/removed.exe" "$work/unsigned.exe" || fail "without its signature the signed exe is not the unsigned one"

# The password from the environment works as well as from a file.
LUMARIS_SIGN_PASSWORD=$(cat "$work/password") cut_release --sign "$work/good/certificate.pfx" ||
    fail "signing with the password from the environment failed: $(tail -n 3 "$work/err")"

cp "$work/signed.exe" "$work/lumaris-hba.exe"
report=$("$repo/build/mingw-i686/wine-run.sh" "$work/lumaris-hba.exe" 2>/dev/null | tr -d '\r') ||
    fail "the signed exe did not run under Wine"
case "$report" in
    "Torvane Lumaris (Build 8182156): "*) ;;
    *) fail "the signed exe printed: $report" ;;
esac

earlier=$(release_digest)
for refused in "missing/certificate.pfx --password-file $work/password:cannot read the certificate" \
               "good/certificate.pfx --password-file $work/wrong-password:wrong password" \
               "expired/certificate.pfx --password-file $work/password:expired" \
               "server/certificate.pfx --password-file $work/password:not for code signing"; do
    arguments=${refused%%:*} expected=${refused#*:}
    # shellcheck disable=SC2086  # the arguments are split on purpose
    if cut_release --sign "$work"/$arguments; then fail "a release with $arguments was made"; fi
    grep -q "$expected" "$work/err" || fail "no clear message for $expected: $(tail -n 1 "$work/err")"
    [ "$(release_digest)" = "$earlier" ] || fail "the earlier release changed after $expected"
done

# TERM while it builds: a failure, and the earlier release as it was.
"$release" --out "$out" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 600); do
    grep -q "Building" "$work/err" 2>/dev/null && break
    sleep 0.1
done
kill -TERM "$pid"
if wait "$pid"; then fail "a release sent TERM while it builds succeeded"; fi
[ "$(release_digest)" = "$earlier" ] || fail "the earlier release changed after a TERM"
[ -z "$(find "$work" -maxdepth 1 -name '.release-staged.*')" ] || fail "a TERM left a staged release behind"

# A folder the script did not make is refused before anything is done.
mkdir "$work/not-a-release"
echo keep >"$work/not-a-release/file"
if "$release" --out "$work/not-a-release" >"$work/out" 2>"$work/err"; then fail "a release went into a foreign folder"; fi
grep -q "refusing" "$work/err" && [ "$(ls -A "$work/not-a-release")" = file ] ||
    fail "a foreign folder was not refused, or was changed: $(tail -n 1 "$work/err")"
echo "PASS: signed release verifies, runs, and is the unsigned exe once its signature is removed; a missing," \
     "wrong-password, expired or non-code-signing certificate, and a TERM, leave the earlier release as it was;" \
     "a foreign folder is refused"
