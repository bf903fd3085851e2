#!/usr/bin/env bash
# Builds and runs the benchmark programs on the Wine bench and prints their
# figures.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build "$here/scripts/setup.sh" >/dev/null
win=$build/win
"$here/scripts/wine-bench.sh" start "$win" >/dev/null
trap '"$here/scripts/wine-bench.sh" stop "$win" >/dev/null 2>&1 || true' EXIT
"$here/scripts/wine-run.sh" "$win" "$win/tests/benchmarks/idle_cpu_bench.exe"
