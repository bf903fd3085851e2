#!/usr/bin/env bash
# Builds the product's packages into <build>/packages: fwupload's Debian
# package from the host tree and, unless HOST_ONLY=1, the Windows zip from
# the Windows tree. Sets up and builds the trees first (scripts/setup.sh).
#   scripts/package.sh      then: sudo apt install ./build/packages/fwupload_*.deb
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build "$here/scripts/setup.sh"
out=$build/packages
trees=(host)
[ "${HOST_ONLY:-}" = 1 ] || trees+=(win)
for tree in "${trees[@]}"; do
  cpack --config "$build/$tree/CPackConfig.cmake" -B "$out"
done
rm -rf "$out/_CPack_Packages"
