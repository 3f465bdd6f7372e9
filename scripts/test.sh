#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine, one test program
# per core at a time; non-zero on any failure. Arguments go to ctest.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/setup.sh"
cd "$repo"
ctest --preset mingw-i686 -j "$(nproc)" "$@"
