#!/bin/sh
# Proves from a relay trace of the real exe that it calls SetDllDirectoryA("")
# before it loads hbaapi.dll, and loads it with the search restricted to the
# exe's folder and the system folder (LoadLibraryExA with
# LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32, 0xa00).
# The end-to-end tests show that planted copies are not loaded; this shows the
# part they cannot: SetDllDirectoryA("") also keeps the working directory out of
# whatever the library itself loads by bare name later.
#   usage: check_dll_search_order.sh WINE_RUN EXE
set -eu
trace=$(LUMARIS_WINEDEBUG=+relay "$1" "$2" 2>&1 >/dev/null |
    grep -E 'Call KERNEL32\.(SetDllDirectoryA|LoadLibraryA|LoadLibraryExA)\(' || true)
echo "$trace"
first=$(printf '%s\n' "$trace" | head -n 1)
echo "$first" | grep -q 'SetDllDirectoryA([0-9a-f]* "")' ||
    { echo "FAIL: the first of these calls is not SetDllDirectoryA(\"\")"; exit 1; }
printf '%s\n' "$trace" | grep -q 'LoadLibraryExA([0-9a-f]* "hbaapi.dll",00000000,00000a00)' ||
    { echo "FAIL: hbaapi.dll was not loaded through LoadLibraryExA with the restricted search"; exit 1; }
echo "PASS: SetDllDirectoryA(\"\") comes before LoadLibraryExA(\"hbaapi.dll\", NULL, 0xa00)"
