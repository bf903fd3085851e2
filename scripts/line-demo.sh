#!/usr/bin/env bash
# A line of two stations publishing to one broker: a Mosquitto on loopback
# (TCP and WebSocket listeners), two fwupload stations (bench-1, bench-2) on
# folders of ports, and virtual boards plugged into them one after another,
# for ever, one in four answering wrongly. It prints the dashboard's address
# and runs until Ctrl+C, which ends everything it started.
#   scripts/line-demo.sh       (sets up the Linux host tree first)
set -euo pipefail
source "$(dirname "$0")/demo-prelude.sh" line-demo

"$here/scripts/broker.sh" "$demo/broker" >"$demo/broker.out" 2>/dev/null &
pids+=($!)
for _ in $(seq 200); do [ -s "$demo/broker/ports" ] && break; sleep 0.1; done
read -r tcp ws < <(sed 's/tcp=\([0-9]*\) ws=\([0-9]*\).*/\1 \2/' "$demo/broker/ports")

size=16384
head -c $size /dev/urandom >"$demo/trx.fw"
for station in bench-1 bench-2; do
  mkdir "$demo/$station"
  "$build/host/cli/fwupload" --watch --present --quiet --port "$demo/$station/*" --record "$demo/records.sqlite" \
    --publish "mqtt://127.0.0.1:$tcp/demo" --station "$station" "$demo/trx.fw" &
  pids+=($!)
done

dashboard=$build/host/dashboard/index.html
echo "broker: mqtt://127.0.0.1:$tcp (WebSocket ws://127.0.0.1:$ws)"
echo "dashboard: file://$dashboard?broker=ws://127.0.0.1:$ws&prefix=demo"
echo "watch it raw: mosquitto_sub -p $tcp -t 'demo/#' -v      Ctrl+C ends the demo"

# Boards plugged in and pulled out, each station with two ports.
n=0
while :; do
  for station in bench-1 bench-2; do
    for slot in 1 2; do
      n=$((n + 1))
      wrong=()
      ((n % 4 == 0)) && wrong=(--first-answer 4E4F)
      rm -f "$demo/$station/usb$slot"
      "$build/host/virtual-device/virtual-device" --link "$demo/board$n" --ready "$demo/ready$n" \
        --events "$demo/events$n" --body-length $((size - 16)) --pace-baud 115200 --quiet "${wrong[@]}" &
      pids+=($!)
      for _ in $(seq 100); do [ -e "$demo/ready$n" ] && break; sleep 0.1; done
      ln -s "$demo/board$n" "$demo/$station/usb$slot"
    done
  done
  sleep 4
done
