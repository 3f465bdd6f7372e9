#!/usr/bin/env bash
# Builds lumaris-hba.exe and runs it under Wine on a simulated sample host: the
# kit's version recorded in the registry and a stand-in hbaapi.dll with two
# adapters beside the exe. Arguments go to the tool ("-v" for verbose).
# With --bare-host as the first argument it runs on a bare Wine host instead:
# no version recorded and no hbaapi.dll.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build/mingw-i686"
bare=false
if [ "${1:-}" = "--bare-host" ]; then
    bare=true
    shift
fi
if $bare; then
    export WINEPREFIX="$build/bare-host/wineprefix"
else
    export WINEPREFIX="$build/sample-host/wineprefix"
fi

# The Wine prefix is made while the exe and the stand-in library build: a
# first run waits for the slower of the two, not for both.
make_prefix() {
    "$repo/cmake/wine-prefix.sh" ensure
}
alongside_build=make_prefix
build_targets="lumaris-hba test-hba-complete"  # what it runs, not the test programs
source "$repo/scripts/setup.sh"

source "$repo/cmake/wine-env.sh"
if $bare; then
    host="$build/bare-host/bin"
    rm -rf "$host" && mkdir -p "$host"
    cp "$build/bin/lumaris-hba.exe" "$host/"
    echo "(running on a bare Wine host: no kit version recorded, no hbaapi.dll)" >&2
else
    host="$build/sample-host/bin"
    rm -rf "$host" && mkdir -p "$host"
    cp "$build/bin/lumaris-hba.exe" "$build/bin/test-hba/complete/hbaapi.dll" "$host/"
    cp "$repo/tests/test_hba/sample-host-adapters.txt" "$host/adapters.txt"
    wine reg add 'HKLM\Software\Torvane\Lumaris' /v Version /t REG_SZ /d 8.0.0.0 /reg:32 /f >/dev/null 2>&1
    behaviour=$(winepath -w "$host/adapters.txt") || { echo "run: winepath failed" >&2; exit 1; }
    export LUMARIS_TEST_HBA_BEHAVIOUR="$behaviour"
    echo "(simulated host: kit version 8.0.0.0 in the registry, a stand-in hbaapi.dll with two adapters;" \
         "scripts/run.sh --bare-host runs without them)" >&2
fi
cd "$host"
wine lumaris-hba.exe "$@"
