#!/usr/bin/env bash
# The Wine test bench of one build folder:
#   wine-bench.sh start <build>   prefix, COM mapping, display, one wineserver
#   wine-bench.sh stop <build>    stops the wineserver and our own Xvfb
#
# The prefix lives in <build>/wineprefix. Every name COM1..COM100 is mapped to
# <build>/bench/ports/comN, which exists only while a virtual device links it
# to its pty, so no real serial port of the machine is ever visible below
# COM101. When DISPLAY is empty an Xvfb is started and its display recorded in
# <build>/bench/display for wine-run.sh.
set -euo pipefail
cmd=$1
build=$(cd "$2" && pwd)
bench=$build/bench
mkdir -p "$bench/ports"
# The caller's own display, before wine-env.sh brings in a recorded one.
caller_display=${DISPLAY:-}
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$build"

start_display() {
  if [ -n "$caller_display" ]; then
    echo "$caller_display" > "$bench/display"
    return
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$bench/xvfb.log" 2>&1 < /dev/null &
    echo $! > "$bench/xvfb.pid"
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" > "$bench/display"; return; }
      kill -0 "$(cat "$bench/xvfb.pid")" 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "wine-bench: could not start Xvfb" >&2
  exit 1
}

map_ports() {
  local stamp=$WINEPREFIX/.fwu-ports
  [ "$(cat "$stamp" 2>/dev/null)" = "$bench/ports" ] && return
  local reg=$bench/ports.reg
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for i in $(seq 1 100); do printf '"COM%d"="%s/com%d"\n' "$i" "$bench/ports" "$i"; done
  } > "$reg"
  wine regedit /S "$(winepath -w "$reg")"
  wineserver -k || true
  wineserver -w
  echo "$bench/ports" > "$stamp"
}

stop_bench() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -f "$bench/xvfb.pid" ]; then
    kill "$(cat "$bench/xvfb.pid")" 2>/dev/null || true
    rm -f "$bench/xvfb.pid"
  fi
  rm -f "$bench/display"
}

case $cmd in
  start)
    # A bench left running by an earlier start is stopped first, so a start
    # always ends with one server and one display.
    stop_bench
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-bench: creating the prefix $WINEPREFIX"
      wineboot -i >"$bench/wineboot.log" 2>&1
      wineserver -w
    fi
    map_ports
    find "$bench/ports" -mindepth 1 -delete
    start_display
    export DISPLAY
    DISPLAY=$(cat "$bench/display")
    # One persistent server (it detaches at once), then the prefix's start-up
    # done before the first test, so that no test races a second server or a
    # prefix update.
    wineserver -p >"$bench/wineserver.log" 2>&1 < /dev/null
    wine wineboot >"$bench/wineboot.log" 2>&1 < /dev/null
    echo "wine-bench: prefix $WINEPREFIX, display $(cat "$bench/display")"
    ;;
  stop)
    stop_bench
    ;;
  *)
    echo "usage: $0 start|stop <build>" >&2
    exit 2
    ;;
esac
