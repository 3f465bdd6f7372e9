#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 or 13 (MinGW-w64, Wine with its
# 32-bit half, CMake, GoogleTest sources), makes sure this host runs 32-bit
# programs (scripts/i386-host.sh), then configures and builds the mingw-i686
# preset: every target, or only those a sourcing script names in build_targets.
# Sourced by run.sh, test.sh and bench.sh.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

source "$repo/scripts/install-packages.sh"
install_packages cmake make unzip mingw-w64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386

# Wine's 32-bit half must run: natively, or under qemu-i386 on a host that refuses it.
"$repo/scripts/i386-host.sh"

cd "$repo"
cmake --preset mingw-i686 >&2
# shellcheck disable=SC2086  # build_targets is a list of target names
cmake --build --preset mingw-i686 ${build_targets:+--target $build_targets} >&2
