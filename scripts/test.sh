#!/usr/bin/env bash
# Sets everything up (scripts/setup.sh) and runs every test of every tree: the
# native ones of build/host, then again under ThreadSanitizer (build/tsan) and
# AddressSanitizer (build/asan) unless SANITIZED=0, then the Windows ones on
# the Wine bench.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
sanitized=${SANITIZED:-1}
BUILD=$build SANITIZED=$sanitized "$here/scripts/setup.sh"
status=0
trees=(host)
[ "$sanitized" = 0 ] || trees+=(tsan asan)
for tree in "${trees[@]}"; do
  ctest --test-dir "$build/$tree" --output-on-failure "$@" || status=1
done
ctest --test-dir "$build/win" --output-on-failure "$@" || status=1
exit $status
