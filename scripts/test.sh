#!/usr/bin/env bash
# Sets everything up (scripts/setup.sh) and runs every test on the Wine bench.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build "$here/scripts/setup.sh"
ctest --test-dir "$build/win" --output-on-failure "$@"
