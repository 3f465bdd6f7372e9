# Sourced by the scripts that run the suite: ctest_summary LABEL ROOT STATUS LOG
# prints one line naming the distribution of the system at ROOT ("" for this
# host), its Wine version, and ctest's result and total from LOG, for instance
#   host: Debian GNU/Linux 12 (bookworm), wine-8.0 (Debian 8.0~repack-4): 100% tests passed, 0 tests failed out of 17; total 281.40 s
# It always prints its line, with STATUS, also when ctest never reported.
ctest_summary() {
    local label=$1 root=$2 status=$3 log=$4 distribution wine_version result total
    local environment=(PATH=/usr/bin:/bin ${QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$QEMU_RESERVED_VA})
    distribution=$( (. "$root/etc/os-release" && echo "$PRETTY_NAME") 2>/dev/null || echo "unknown system")
    if [ -n "$root" ]; then
        wine_version=$(chroot "$root" /usr/bin/env -i "${environment[@]}" wine --version 2>/dev/null || echo "no wine")
    else
        wine_version=$(env -i "${environment[@]}" wine --version 2>/dev/null || echo "no wine")
    fi
    result=$(grep -E '^[0-9]+% tests passed' "$log" 2>/dev/null | tail -n 1 || true)
    total=$(sed -n -E 's/^Total Test time \(real\) = *([0-9.]+) sec.*/\1/p' "$log" 2>/dev/null | tail -n 1 || true)
    echo "$label: $distribution, $wine_version: ${result:-ctest did not report} (exit $status); total ${total:-?} s"
}
