#!/usr/bin/env bash
# Sets everything up (scripts/setup.sh) and runs every test of both trees: the
# native ones of build/host, then the Windows ones on the Wine bench.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build "$here/scripts/setup.sh"
status=0
ctest --test-dir "$build/host" --output-on-failure "$@" || status=1
ctest --test-dir "$build/win" --output-on-failure "$@" || status=1
exit $status
