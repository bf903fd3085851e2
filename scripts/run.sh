#!/usr/bin/env bash
# Sets everything up, then runs fwupdater.exe under Wine against the built-in
# virtual device on COM3, with a 32 KiB firmware file (build/demo/trx.fw) that
# the device receives at the pace of a real 57600-baud line.
#
# With a display (DISPLAY set) the window opens there for you to use: pick
# COM3, press UPDATE!, watch the device's progress lines here; close the window
# to end. Without one, the window runs under Xvfb and a scripted run picks the
# port, presses UPDATE!, saves a screenshot of the outcome and closes it
# (SHOT_AT=<percent>: a screenshot of the run, once the bar has reached it).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
BUILD=$build "$here/scripts/setup.sh" >/dev/null
win=$build/win
demo=$build/demo
mkdir -p "$demo"
interactive=${DISPLAY:-}

"$here/scripts/wine-bench.sh" start "$win" >/dev/null
# shellcheck source=wine-env.sh
. "$here/scripts/wine-env.sh" "$win"
device_pid=
cleanup() {
  [ -n "$device_pid" ] && kill "$device_pid" 2>/dev/null && wait "$device_pid" 2>/dev/null
  "$here/scripts/wine-bench.sh" stop "$win" >/dev/null 2>&1 || true
}
trap cleanup EXIT

[ -f "$demo/trx.fw" ] || head -c 32768 /dev/urandom > "$demo/trx.fw"
size=$(stat -c %s "$demo/trx.fw")
rm -f "$demo/received.bin" "$demo/ready" "$demo/shot-ready" "$demo/shot-done"
"$build/host/virtual-device/virtual-device" --link "$FWU_PORTS/com3" --log "$demo/received.bin" \
  --ready "$demo/ready" --body-length $((size - 16)) --pace-baud 57600 &
device_pid=$!
for _ in $(seq 100); do [ -f "$demo/ready" ] && break; sleep 0.1; done

cd "$demo"
if [ -n "$interactive" ]; then
  echo "run: fwupdater is open; pick COM3 and press UPDATE!. Close its window to end."
  wine "$win/app/fwupdater.exe"
  exit 0
fi

shot=$build/artifacts/upload.png
mkdir -p "$(dirname "$shot")"
(
  for _ in $(seq 1200); do [ -f "$demo/shot-ready" ] && break; sleep 0.1; done
  import -window root "$shot" 2>/dev/null || true
  touch "$demo/shot-done"
) &
shooter_pid=$!
status=0
wine "$win/tests/demo/updater_demo.exe" "$(winepath -w "$demo")" COM3 \
  "$(winepath -w "$demo/shot-ready")" "$(winepath -w "$demo/shot-done")" ${SHOT_AT:+"$SHOT_AT"} || status=$?
# Only the screenshot; the device serves until the clean-up stops it.
wait "$shooter_pid"
if cmp -s "$demo/received.bin" "$demo/trx.fw"; then
  echo "run: the device received all $size bytes of trx.fw, identical to the file"
else
  echo "run: the device did not receive trx.fw intact"
  status=1
fi
shown=${SHOT_AT:+the run at $SHOT_AT %}
echo "run: screenshot of ${shown:-the outcome}: $shot"
exit $status
