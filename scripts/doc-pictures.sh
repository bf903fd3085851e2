#!/usr/bin/env bash
# Makes the README's two pictures again, from real runs, into doc/:
# - doc/window.png: fwupdater.exe under Wine and Xvfb halfway through an
#   update of the virtual device on COM3 (scripts/run.sh with SHOT_AT), the
#   screen cut down to the window;
# - doc/fwupload-ports.png: fwupload's live lines for four virtual devices, in
#   a terminal (a private tmux server), as the first passes half its file,
#   drawn with DejaVu Sans Mono. A pty takes several KB at once, which would
#   show rates no serial line has; so fwupload runs with the benchmark's model
#   of a USB adapter preloaded (1 ms a transfer), and its figures are those of
#   a tray of real adapters.
# Run it again when the window or fwupload's output changes.
#   scripts/doc-pictures.sh      (sets up both trees first)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
out=$here/doc

env -u DISPLAY SHOT_AT=50 BUILD="$build" "$here/scripts/run.sh"
# The window sits alone on Xvfb's black screen: cut the black away.
convert "$build/artifacts/upload.png" -fuzz 1% -trim +repage "$out/window.png"
echo "doc-pictures: $out/window.png"

source "$here/scripts/demo-prelude.sh" doc-pictures
size=8192
head -c $size /dev/urandom >"$demo/trx.fw"
mkdir "$demo/ports"
ports=()
for n in 1 2 3 4; do
  "$build/host/virtual-device/virtual-device" --link "$demo/ports/usb$n" --ready "$demo/ready$n" \
    --body-length $((size - 16)) --quiet &
  pids+=($!)
  ports+=(-p "ports/usb$n")
done
for n in 1 2 3 4; do
  for _ in $(seq 100); do [ -f "$demo/ready$n" ] && break; sleep 0.1; done
done

# A terminal of its own: a tmux server on a socket in the demo's folder, whose
# one window is the command; the server ends with it.
arguments="${ports[*]} trx.fw"
tmux=(tmux -u -S "$demo/tmux" -f /dev/null)
"${tmux[@]}" new-session -d -x 92 -y 8 -c "$demo" -e LANG=C.UTF-8 \
  "echo '\$ fwupload $arguments'; LD_PRELOAD='$build/host/tests/benchmarks/libfwu_adapter_model.so' \
   FWU_MODEL_LATENCY_US=1000 '$build/host/cli/fwupload' $arguments; sleep 2"
shot=$demo/screen.txt
for _ in $(seq 600); do
  "${tmux[@]}" capture-pane -p >"$shot" || break
  first=$(grep -o '[0-9]\+%' "$shot" | head -1 | tr -d % || true)
  [ "${first:-0}" -ge 50 ] && break
  sleep 0.05
done
[ "${first:-0}" -ge 50 ] || { echo "doc-pictures: fwupload's lines did not come" >&2; cat "$shot" >&2; exit 1; }
# label: reads % as the start of an escape; the screen's blank rows at the end go.
text=$(sed -e 's/[[:space:]]*$//' -e 's/%/%%/g' "$shot")
convert -background '#1e1e1e' -fill '#e0e0e0' -font DejaVu-Sans-Mono -pointsize 15 \
  label:"$text" -bordercolor '#1e1e1e' -border 14 "$out/fwupload-ports.png"
echo "doc-pictures: $out/fwupload-ports.png"
