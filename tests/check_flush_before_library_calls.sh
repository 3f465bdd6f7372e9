#!/bin/sh
# Proves from a relay trace of the real exe that it writes out its pending
# output before each call into hbaapi.dll, the load included. Windows buffers
# stdout for a file or a pipe, and a library that ends the process itself
# (a fail-fast, ExitProcess) would take the buffered report with it; Wine
# writes every printf through, so no report can show this and the trace must.
#   usage: check_flush_before_library_calls.sh WINE_RUN EXE TEST_HBAAPI_DLL
# Wine traces no calls into a native DLL, so each call into the test library is
# seen by the one getenv("LUMARIS_TEST_HBA_LOG") it makes to log itself. Before
# each, the exe's last call that wrote output (putchar, puts, fwrite; printf is
# not traced) must be followed by an fflush. The exe's own calls are told by
# their return address inside its image (based at 0x00400000).
set -eu
run=$1 exe=$2 dll=$3
host=$(mktemp -d "${TMPDIR:-/tmp}/lumaris-flush.XXXXXX")
trap 'rm -rf "$host"' EXIT
cp "$exe" "$dll" "$host/"
printf '[adapter]\nname=a\nManufacturer=M1\n[adapter]\nname=b\nManufacturer=M2\n' >"$host/behaviour.txt"
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
LUMARIS_TEST_HBA_BEHAVIOUR=$(windows_path "$host/behaviour.txt")
LUMARIS_TEST_HBA_LOG=$(windows_path "$host/calls.log")
export LUMARIS_TEST_HBA_BEHAVIOUR LUMARIS_TEST_HBA_LOG
cd "$host"
LUMARIS_WINEDEBUG=+relay "$run" "$host/$(basename "$exe")" -v 2>"$host/trace" >/dev/null || true
calls=$(grep -c . "$host/calls.log" || true)

awk -v calls="$calls" '
    !/:Call / { next }
    {
        name = $0; sub(/^.*:Call /, "", name); sub(/\(.*$/, "", name)
        ret = $0; sub(/^.* ret=/, "", ret)
        from_exe = substr(ret, 1, 3) == "004"
    }
    !from_exe && name == "msvcrt.getenv" && /"LUMARIS_TEST_HBA_LOG"/ {
        entered++
        if (!flushed) { printf "FAIL: call %d into the library with output pending\n", entered; failed = 1 }
        flushed = 0
        next
    }
    !from_exe { next }
    name == "msvcrt.fflush" { flushed = 1; flushes++; next }
    name ~ /^KERNEL32\.LoadLibrary(Ex)?A$/ && /"hbaapi.dll"/ {
        loads++
        if (!flushed) { print "FAIL: hbaapi.dll loaded with output pending"; failed = 1 }
        flushed = 0
        next
    }
    name ~ /^msvcrt\.(putchar|puts|fputs|fputc|fwrite)$/ { flushed = 0 }
    END {
        if (loads != 1) { printf "FAIL: %d loads of hbaapi.dll traced, not 1\n", loads; failed = 1 }
        if (calls == 0 || entered != calls) {
            printf "FAIL: the library logged %d calls, the trace shows %d\n", calls, entered; failed = 1
        }
        if (failed) exit 1
        printf "PASS: output written out before the load and each of %d calls into the library (%d flushes)\n", entered, flushes
    }' "$host/trace"
