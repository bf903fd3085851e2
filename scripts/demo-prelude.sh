# The start the demos share, sourced with the demo's name as its argument:
# the Linux host tree set up, a fresh folder $demo, and the processes the demo
# adds to $pids ended with it, the folder removed, on every way out.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build HOST_ONLY=1 "$here/scripts/setup.sh" >/dev/null
demo=$(mktemp -d "${TMPDIR:-/tmp}/$1-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$demo"
}
trap cleanup EXIT
