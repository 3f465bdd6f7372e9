#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine; non-zero on any failure.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/setup.sh"
cd "$repo"
ctest --preset mingw-i686 "$@"
