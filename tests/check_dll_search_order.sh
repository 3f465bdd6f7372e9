#!/bin/sh
# Proves that lumaris-hba.exe takes the current directory out of the DLL search
# path (SetDllDirectoryA("")) before it loads hbaapi.dll, so a library planted in
# whatever folder the administrator stands in is never loaded on Windows.
# Planting one cannot show it here: Wine, unlike Windows, keeps searching the
# working directory even after that call. So the order of the two calls is read
# from a relay trace of the real exe instead.
#   usage: check_dll_search_order.sh WINE_RUN EXE
set -eu
trace=$(LUMARIS_WINEDEBUG=+relay "$1" "$2" 2>&1 >/dev/null |
    grep -E 'Call KERNEL32\.(SetDllDirectoryA|LoadLibraryA)\(' || true)
echo "$trace"
first=$(printf '%s\n' "$trace" | head -n 1)
echo "$first" | grep -q 'SetDllDirectoryA([0-9a-f]* "")' ||
    { echo "FAIL: the first of these calls is not SetDllDirectoryA(\"\")"; exit 1; }
printf '%s\n' "$trace" | grep -q 'LoadLibraryA([0-9a-f]* "hbaapi.dll")' ||
    { echo "FAIL: hbaapi.dll was not loaded through LoadLibraryA"; exit 1; }
echo "PASS: SetDllDirectoryA(\"\") comes before LoadLibraryA(\"hbaapi.dll\")"
