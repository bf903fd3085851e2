#!/usr/bin/env bash
# A Mosquitto broker on loopback for tests, benchmarks and demos: a TCP
# listener and a WebSocket listener (and a TLS one when asked), on ports that
# are free unless given. It runs in the foreground until it is sent TERM, INT
# or HUP, or until this script ends in any way (the broker is started with a
# parent-death signal, so even a SIGKILL of the script stops it).
#
#   scripts/broker.sh DIR [--tcp PORT] [--ws PORT] [--tls PORT --cert FILE --key FILE]
#                         [--passwords FILE]
#
# DIR holds the configuration, the log (mosquitto.log) and the broker's
# persistence (so a broker started again on the same DIR keeps retained
# messages and the sessions of subscribers that asked for one). A --tls PORT
# of 0 picks a free port. --passwords: a mosquitto_passwd file; anonymous
# clients are then refused.
#
# Once every listener accepts, one line goes to standard output and to
# DIR/ports, e.g. "tcp=41234 ws=41235 pid=5678" (with " tls=41236" before the
# broker's process id when asked). Exit status 1 when
# the broker cannot be started (the log's last lines on standard error).
set -uo pipefail

dir=${1:?usage: broker.sh DIR [--tcp PORT] [--ws PORT] [--tls PORT --cert FILE --key FILE] [--passwords FILE]}
shift
tcp= ws= tls= cert= key= passwords=
while (($#)); do
  case $1 in
    --tcp) tcp=$2 ;;
    --ws) ws=$2 ;;
    --tls) tls=$2 ;;
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    --passwords) passwords=$2 ;;
    *) echo "broker.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
command -v mosquitto >/dev/null || PATH=$PATH:/usr/sbin
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# A port nobody listens on now (the broker may still lose it to another
# program before it binds: the start is then tried again).
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    ss -Hltn "sport = :$port" | grep -q . || { echo "$port"; return; }
  done
}

write_config() {
  {
    echo "user $(id -un)"
    echo "persistence true"
    echo "persistence_location $dir/"
    echo "log_dest file $dir/mosquitto.log"
    echo "log_type error"
    echo "log_type warning"
    echo "log_type notice"
    echo "log_type information"
    echo "per_listener_settings false"
    if [ -n "$passwords" ]; then
      echo "allow_anonymous false"
      echo "password_file $passwords"
    else
      echo "allow_anonymous true"
    fi
    echo "listener $1 127.0.0.1"
    echo "listener $2 127.0.0.1"
    echo "protocol websockets"
    if [ -n "$3" ]; then
      echo "listener $3 127.0.0.1"
      echo "certfile $cert"
      echo "keyfile $key"
    fi
  } >"$dir/mosquitto.conf"
}

broker=
stop() {
  [ -n "$broker" ] && kill "$broker" 2>/dev/null && wait "$broker"
  exit 0
}
trap stop TERM INT HUP

for attempt in 1 2 3 4 5 6 7 8 9 10; do
  t=${tcp:-$(free_port)}
  w=${ws:-$(free_port)}
  s=
  if [ -n "$tls" ]; then
    s=$tls
    [ "$s" = 0 ] && s=$(free_port)
  fi
  write_config "$t" "$w" "$s"
  : >"$dir/mosquitto.log"
  setpriv --pdeathsig KILL mosquitto -c "$dir/mosquitto.conf" &
  broker=$!
  # "running" is logged once every listener is open.
  for _ in $(seq 100); do
    grep -q ' running' "$dir/mosquitto.log" && break
    kill -0 "$broker" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$broker" 2>/dev/null && grep -q ' running' "$dir/mosquitto.log"; then
    line="tcp=$t ws=$w${s:+ tls=$s} pid=$broker"
    echo "$line" >"$dir/ports"
    echo "$line"
    wait "$broker"
    exit 0
  fi
  kill "$broker" 2>/dev/null
  wait "$broker" 2>/dev/null
  broker=
  # Ports that were given are tried again (one just freed may take a moment).
  sleep 0.2
done
tail -n 5 "$dir/mosquitto.log" >&2
exit 1
