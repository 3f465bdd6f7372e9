#!/usr/bin/env bash
# Proves the release build reproducible: two builds of the exe from copies of the
# source in different folders, at different times, with the same
# SOURCE_DATE_EPOCH, give the same bytes; the stamp comes from that epoch; the
# package holds just the exe and the README.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export SOURCE_DATE_EPOCH=1741132347
stamp="Build on Mar  4 2025 23:52:27 (32-bit)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tree in first second-tree; do
    mkdir -p "$work/$tree"
    git -C "$repo" ls-files -z | (cd "$repo" && xargs -0 cp --parents -t "$work/$tree")
    cmake -S "$work/$tree" -B "$work/$tree/out" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$work/$tree/cmake/mingw-i686.cmake" -DLUMARIS_BUILD_TESTS=OFF >/dev/null
    cmake --build "$work/$tree/out" --target package -j 2 >/dev/null
    sleep 2  # a later clock must not change the result
done

first="$work/first/out/bin/lumaris-hba.exe"
second="$work/second-tree/out/bin/lumaris-hba.exe"
cmp "$first" "$second" || { echo "FAIL: the two builds differ"; exit 1; }
grep -qF "$stamp" "$first" || { echo "FAIL: the stamp is not \"$stamp\""; exit 1; }
if grep -qF "$work" "$first"; then echo "FAIL: a build path is in the exe"; exit 1; fi

zip="$work/first/out/lumaris-hba-8.0.0.0-win32.zip"
contents=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$contents" = "README.md lumaris-hba.exe " ] || { echo "FAIL: the package holds: $contents"; exit 1; }
unzip -p "$zip" lumaris-hba.exe | cmp - "$first" || { echo "FAIL: the packaged exe is not the built one"; exit 1; }
echo "PASS: identical exe ($(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16)...), stamp from SOURCE_DATE_EPOCH, package holds README.md and lumaris-hba.exe"
