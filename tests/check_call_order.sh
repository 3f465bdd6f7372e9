#!/bin/sh
# Proves from a relay trace of the real exe that it makes the given KERNEL32
# calls in the given order, for what the report cannot show from outside:
# that no error dialog can hold the process (SetErrorMode before hbaapi.dll is
# looked for), and that the DLL search is restricted (SetDllDirectoryA(""),
# SetDefaultDllDirectories) before hbaapi.dll loads, so that neither it nor
# whatever it loads by bare name later comes from the working directory or PATH.
#   usage: check_call_order.sh WINE_RUN EXE CALL...
# Each CALL is an extended regular expression for one traced call, such as
# 'SetErrorMode\(00008003\)'; the run passes when each matches a call after the
# one matched before it.
set -eu
run=$1 exe=$2
shift 2
trace=$(LUMARIS_WINEDEBUG=+relay "$run" "$exe" 2>&1 >/dev/null | grep -E 'Call KERNEL32\.' |
    sed -E 's/^[0-9a-f]+:Call KERNEL32\.//; s/ ret=[0-9a-f]+$//' || true)
rest=$trace
for call in "$@"; do
    line=$(printf '%s\n' "$rest" | grep -n -m 1 -E "^$call" | cut -d: -f1)
    if [ -z "$line" ]; then
        printf '%s\n' "$trace" | grep -E 'SetErrorMode|SetUnhandledExceptionFilter|SetDllDirectoryA|SetDefaultDllDirectories|LoadLibrary' || true
        echo "FAIL: no call matching $call after the ones before it"
        exit 1
    fi
    printf '%s\n' "$rest" | sed -n "${line}p"
    rest=$(printf '%s\n' "$rest" | sed -n "$((line + 1)),\$p")
done
echo "PASS: the calls came in this order"
