#!/usr/bin/env bash
# Times the tool under Wine beside bare references (medians with hyperfine, the
# test library's logging off) and prints a table:
#   report at scale: the tool and bench/reference.cpp at 1 to 10,000 adapters;
#   start-up: the tool with no library, key or switch, and bench/minimal.c;
#   size: the stripped exe and the stripped minimal program.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/setup.sh"
install_packages hyperfine
build="$repo/build/mingw-i686"
cmake --build --preset mingw-i686 --target bench >&2

export WINEPREFIX="$build/bench-host/wineprefix"
source "$repo/cmake/wine-env.sh"
"$repo/cmake/wine-prefix.sh" start
trap '"$repo/cmake/wine-prefix.sh" stop' EXIT
runs=${BENCH_RUNS:-20}

# Median wall time in milliseconds of one command line.
median_ms() {
    local csv
    csv=$(mktemp)
    # A pipe, not /dev/null: Wine writes to a character device unbuffered, a byte at a time.
    hyperfine -N --output=pipe --warmup 3 --runs "$runs" --export-csv "$csv" "$1" >/dev/null 2>&1
    awk -F, 'NR == 2 { printf "%.1f", $4 * 1000 }' "$csv"
    rm -f "$csv"
}

if handler=$(lumaris_i386_handler); then
    echo "Times under CPU emulation (this host refuses 32-bit programs; $handler runs them):" \
         "every process start is emulated, so only the ratios mean anything."
    echo
fi
echo "| measurement | lumaris-hba | reference | ratio | tool ms per adapter |"
echo "|---|---|---|---|---|"
for adapters in 1 100 1000 10000; do
    host="$build/bench-host/adapters-$adapters"
    rm -rf "$host" && mkdir -p "$host"
    cp "$build/bin/lumaris-hba.exe" "$build/bench/bench-reference.exe" "$build/bin/test-hba/complete/hbaapi.dll" "$host/"
    echo "generated_adapters=$adapters" >"$host/behaviour.txt"
    export LUMARIS_TEST_HBA_BEHAVIOUR="$(winepath -w "$host/behaviour.txt" 2>/dev/null)"
    unset LUMARIS_TEST_HBA_LOG
    tool=$(cd "$host" && median_ms "wine $host/lumaris-hba.exe")
    reference=$(cd "$host" && median_ms "wine $host/bench-reference.exe")
    echo "| report, $adapters adapters (ms) | $tool | $reference | $(awk "BEGIN { printf \"%.2f\", $tool / $reference }") | $(awk "BEGIN { printf \"%.4f\", $tool / $adapters }") |"
done

host="$build/bench-host/start-up"
rm -rf "$host" && mkdir -p "$host"
cp "$build/bin/lumaris-hba.exe" "$build/bench/bench-minimal.exe" "$host/"
tool=$(cd "$host" && median_ms "wine $host/lumaris-hba.exe")
minimal=$(cd "$host" && median_ms "wine $host/bench-minimal.exe")
echo "| start-up, no library, key or switch (ms) | $tool | $minimal (minimal) | $(awk "BEGIN { printf \"%.2f\", $tool / $minimal }") | |"
exe=$(stat -c %s "$build/bin/lumaris-hba.exe")
small=$(stat -c %s "$build/bench/bench-minimal.exe")
echo "| size, stripped (bytes) | $exe | $small (minimal) | $(awk "BEGIN { printf \"%.2f\", $exe / $small }") | |"
