# Sourced by the scripts that run the suite: ctest_summary LABEL ROOT STATUS LOG
# prints one line naming the distribution of the system at ROOT ("" for this
# host), its Wine version, and ctest's result and total from LOG, for instance
#   host: Debian GNU/Linux 12 (bookworm), wine-8.0 (Debian 8.0~repack-4): 100% tests passed, 0 tests failed out of 17; total 281.40 s
ctest_summary() {
    local label=$1 root=$2 status=$3 log=$4 distribution wine_version result total
    distribution=$(. "$root/etc/os-release" && echo "$PRETTY_NAME")
    if [ -n "$root" ]; then
        wine_version=$(chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin wine --version 2>/dev/null || echo "no wine")
    else
        wine_version=$(wine --version 2>/dev/null || echo "no wine")
    fi
    result=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    total=$(sed -n -E 's/^Total Test time \(real\) = *([0-9.]+) sec.*/\1/p' "$log" | tail -n 1)
    echo "$label: $distribution, $wine_version: ${result:-ctest did not report (exit $status)}; total ${total:-?} s"
}
