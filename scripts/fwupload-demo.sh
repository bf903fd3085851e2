#!/usr/bin/env bash
# fwupload at work: two virtual devices on ptys, each reading at the pace of a
# real 57600-baud line, updated at once with a 32 KiB firmware file. Then
# checks that each device received exactly the file.
#   scripts/fwupload-demo.sh        (sets up the Linux host tree first)
set -euo pipefail
source "$(dirname "$0")/demo-prelude.sh" fwupload-demo

head -c 32768 /dev/urandom > "$demo/trx.fw"
ports=()
for n in 0 1; do
  "$build/host/virtual-device/virtual-device" --link "$demo/ttyDEMO$n" --log "$demo/received$n.bin" \
    --ready "$demo/ready$n" --body-length $((32768 - 16)) --pace-baud 57600 --quiet &
  pids+=($!)
  ports+=(--port "$demo/ttyDEMO$n")
done
for n in 0 1; do
  for _ in $(seq 100); do [ -f "$demo/ready$n" ] && break; sleep 0.1; done
done

echo "\$ fwupload ${ports[*]} trx.fw"
status=0
(cd "$demo" && "$build/host/cli/fwupload" "${ports[@]}" trx.fw) || status=$?
echo "exit status $status"
for n in 0 1; do
  if cmp -s "$demo/trx.fw" "$demo/received$n.bin"; then
    echo "ttyDEMO$n received exactly the file"
  else
    echo "ttyDEMO$n did NOT receive the file"; status=1
  fi
done
exit $status
