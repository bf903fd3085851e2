#!/usr/bin/env bash
# Gives a serial adapter a COM name of your choice in a Wine prefix
# ($WINEPREFIX, else ~/.wine): writes HKLM\Software\Wine\Ports "COMn" = the
# device path, then stops the prefix's wineserver so that Wine, at its next
# start, rewrites dosdevices from the key. Close Wine programs first.
#   scripts/wine-real-port.sh COM5 /dev/ttyUSB0
set -euo pipefail
usage() { echo "usage: $0 COMn /dev/DEVICE" >&2; exit 64; }
[ $# -eq 2 ] || usage
com=${1^^}
device=$2
[[ $com =~ ^COM[1-9][0-9]?$ ]] || { echo "$0: the name must be COM1..COM99, not '$1'" >&2; usage; }
[[ $device == /* && $device != *[\"\\]* ]] || { echo "$0: '$device' is not an absolute path" >&2; usage; }
[ -e "$device" ] || echo "$0: warning: $device does not exist now; the name works once it does" >&2

reg=$(mktemp "${TMPDIR:-/tmp}/wine-port-XXXXXX.reg")
trap 'rm -f "$reg"' EXIT
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n"%s"="%s"\n' "$com" "$device" > "$reg"
wine regedit /S "$(winepath -w "$reg")"
# Wine reads the key when its server starts. -k fails when none runs.
wineserver -k 2>/dev/null || true
wineserver -w
echo "$com = $device in ${WINEPREFIX:-$HOME/.wine}"
