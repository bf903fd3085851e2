#!/usr/bin/env bash
# Makes doc/dashboard.png: the dashboard of the host tree in headless
# Chromium, showing a line of played stations (tests/dashboard/screenshot.mjs).
#   scripts/dashboard-screenshot.sh [OUTPUT.png]     (BUILD defaults to build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
cmake --build "$build/host" --target dashboard >/dev/null
FWU_DASHBOARD=$build/host/dashboard FWU_DASHBOARD_MODULES=$build/host/dashboard-modules/node_modules \
  node "$here/tests/dashboard/screenshot.mjs" "$(realpath -m "${1:-$here/doc/dashboard.png}")"
