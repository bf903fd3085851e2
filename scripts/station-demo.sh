#!/usr/bin/env bash
# A production station at work: fwupload --watch on a folder of ports, and
# three virtual boards (devices on ptys reading at the pace of a 57600-baud
# line) plugged in one after another, each pulled out once it is updated. The
# station ends by itself after three updates (--count 3) with the tally; then
# the script checks that each board received exactly the file.
#   scripts/station-demo.sh         (sets up the Linux host tree first)
set -euo pipefail
source "$(dirname "$0")/demo-prelude.sh" station-demo

wait_for() {  # a command's success, up to 30 s
  for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done
  return 1
}

size=8192
head -c $size /dev/urandom > "$demo/trx.fw"
mkdir "$demo/ports"
# The folder starts empty: --present lets a board plugged in before the
# station's first look count as plugged in, not as one already on the bench.
echo "\$ fwupload --watch --present --count 3 --port 'ports/*' trx.fw"
(cd "$demo" && exec "$build/host/cli/fwupload" --watch --present --count 3 --port 'ports/*' trx.fw) &
station=$!
pids+=($station)

for n in 1 2 3; do
  "$build/host/virtual-device/virtual-device" --link "$demo/board$n" --log "$demo/received$n.bin" \
    --events "$demo/events$n" --ready "$demo/ready$n" --body-length $((size - 16)) --pace-baud 57600 --quiet &
  pids+=($!)
  wait_for test -e "$demo/ready$n"
  ln -s "$demo/board$n" "$demo/ports/usb$n"           # plugged in
  wait_for grep -qs '^done ' "$demo/events$n" || echo "board $n was not updated"
  sleep 0.5
  rm "$demo/ports/usb$n"                              # pulled out
  sleep 0.5
done

status=0
wait $station || status=$?
echo "exit status $status"
for n in 1 2 3; do
  if cmp -s "$demo/trx.fw" "$demo/received$n.bin"; then
    echo "board $n received exactly the file"
  else
    echo "board $n did NOT receive the file"; status=1
  fi
done
exit $status
