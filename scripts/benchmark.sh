#!/usr/bin/env bash
# Builds and runs every benchmark program and prints their figures: the native
# ones of the host tree (*_bench, with fwupload.exe's figures under Wine in
# fwupload_rate_bench), then the Windows ones (*_bench.exe), all on the Wine
# bench of a build folder.
#   scripts/benchmark.sh            (BUILD defaults to build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD:-$here/build}" && pwd)
BUILD=$build "$here/scripts/setup.sh"
"$here/scripts/wine-bench.sh" start "$build/win" >/dev/null
trap '"$here/scripts/wine-bench.sh" stop "$build/win"' EXIT
status=0
for bench in "$build"/host/tests/benchmarks/*_bench; do
  echo "== $(basename "$bench")"
  FWU_WINE_BUILD=$build/win "$bench" || status=1
done
for bench in "$build"/win/tests/benchmarks/*_bench.exe; do
  echo "== $(basename "$bench")"
  "$here/scripts/wine-run.sh" "$build/win" "$bench" || status=1
done
exit $status
