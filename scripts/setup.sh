#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 or 13 (MinGW-w64, Wine with its
# 32-bit half, CMake, GoogleTest sources), makes sure this host runs 32-bit
# programs (scripts/i386-host.sh), then configures and builds the mingw-i686
# preset: every target, or only those a sourcing script names in build_targets.
# Sourced by run.sh, test.sh and bench.sh.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

source "$repo/scripts/install-packages.sh"
install_packages "${lumaris_build_packages[@]}"

# Wine's 32-bit half must run: natively, or under qemu-i386 on a host that refuses it.
"$repo/scripts/i386-host.sh"

# A sourcing script may name in alongside_build a function to run while the
# build runs (run.sh makes its Wine prefix then); setup fails when either does.
alongside=""
if [ -n "${alongside_build:-}" ]; then
    "$alongside_build" &
    alongside=$!
fi
cd "$repo"
built=0
# shellcheck disable=SC2086  # build_targets is a list of target names
cmake --preset mingw-i686 >&2 && cmake --build --preset mingw-i686 ${build_targets:+--target $build_targets} >&2 ||
    built=$?
if [ -n "$alongside" ]; then
    wait "$alongside" || { echo "setup: $alongside_build failed" >&2; exit 1; }
fi
[ "$built" -eq 0 ] || exit "$built"
