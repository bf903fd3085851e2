#!/usr/bin/env bash
# The Wine tests' broker for fwupload.exe's publishing, run by bash from a
# Windows test: in DIR, a self-signed certificate for 127.0.0.1 (cert.pem,
# key.pem), a Mosquitto on loopback with a TCP and a TLS listener
# (scripts/broker.sh; "tcp=PORT ws=PORT tls=PORT" in DIR/broker/ports) and a
# subscriber to test/# on the TCP one, whose output goes to DIR/messages (-d:
# its SUBACK says it is subscribed). They run until DIR/stop appears (two
# minutes at most); then DIR/stopped is written. Wine may report a failed
# start of a Linux program it did start: the files decide.
#
#   broker-bench.sh DIR
set -u
dir=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -f "$dir/broker/ports"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>"$dir/openssl.err"
"$here/scripts/broker.sh" "$dir/broker" --tls 0 --cert "$dir/cert.pem" --key "$dir/key.pem" >/dev/null & broker=$!
for _ in $(seq 200); do
  port=$(sed -n 's/^tcp=\([0-9]*\) .*/\1/p' "$dir/broker/ports" 2>/dev/null)
  [ -n "$port" ] && break
  sleep 0.05
done
stdbuf -oL mosquitto_sub -d -h 127.0.0.1 -p "$port" -q 1 -t 'test/#' -v >"$dir/messages" & sub=$!
for _ in $(seq 2400); do [ -e "$dir/stop" ] && break; sleep 0.05; done
kill $sub $broker
wait
: >"$dir/stopped"
