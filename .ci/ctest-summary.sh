# Sourced by the scripts that run the suite: ctest_summary LABEL ROOT STATUS LOG
# prints one line naming the system at ROOT ("" for this host), its Wine
# package, and ctest's result and total from LOG, for instance
#   host: Debian GNU/Linux 12 (bookworm), wine 8.0~repack-4: 100% tests passed, 0 tests failed out of 18 (exit 0); total 281.40 s
# It always prints its line, with STATUS, also when ctest never reported.
ctest_summary() {
    local label=$1 root=$2 status=$3 log=$4 distribution wine result total
    distribution=$( (. "$root/etc/os-release" && echo "$PRETTY_NAME") 2>/dev/null || echo "unknown system")
    wine=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version}' wine 2>/dev/null || echo "none")
    result=$(grep -E '^[0-9]+% tests passed' "$log" 2>/dev/null | tail -n 1 || true)
    total=$(sed -n -E 's/^Total Test time \(real\) = *([0-9.]+) sec.*/\1/p' "$log" 2>/dev/null | tail -n 1 || true)
    echo "$label: $distribution, wine ${wine:-none}: ${result:-ctest did not report} (exit $status); total ${total:-?} s"
}
