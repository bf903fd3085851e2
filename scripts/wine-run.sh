#!/usr/bin/env bash
# Runs a Windows program on a build's Wine bench: wine-run.sh <build> prog.exe args...
set -euo pipefail
build=$1
shift
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$build"
exec wine "$@"
