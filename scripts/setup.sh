#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (MinGW-w64, Wine with its
# 32-bit half, CMake, GoogleTest sources), makes sure this host runs 32-bit
# programs (scripts/i386-host.sh), then configures and builds the mingw-i686
# preset. Sourced by run.sh, test.sh and bench.sh.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(cmake make unzip mingw-w64 g++-mingw-w64-i686 googletest wine wine64 wine32:i386)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
fi

# Wine's 32-bit half must run: natively, or under qemu-i386 on a host that refuses it.
"$repo/scripts/i386-host.sh"

cd "$repo"
cmake --preset mingw-i686 >&2
cmake --build --preset mingw-i686 >&2
