#!/usr/bin/env bash
# What a user reads and types besides the program: the manual page renders
# without warnings and describes exactly the long options of the built
# program's --help, as do the zsh completion and the reference page of doc/;
# the bash completion, loaded in a plain non-interactive bash, completes
# options, serial devices and files.
#   docs-test.sh <fwupload> <manual page> <completions folder> <reference page>
set -euo pipefail
fwupload=$1 page=$2 completions=$3 reference=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/fwu-docs-XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns about the page: $warnings"

# The long options a text names, outside its comments (roff's and the shell's)
# and Markdown's headings.
long_options() { sed -e '/^\.\\"/d' -e '/^#/d' -e 's/\\-/-/g' | grep -o -- '--[a-z][a-z-]*' | sort -u; }
"$fwupload" --help | long_options >"$work/help"
for source in "$page" "$completions/_fwupload" "$reference"; do
  long_options <"$source" >"$work/described"
  differences=$(comm -3 "$work/help" "$work/described" | tr -d '\t' | tr '\n' ' ')
  [ -z "$differences" ] || fail "$(basename "$source") and --help differ in: $differences"
done

# complete_words <words>...: the completions bash offers for the last word.
complete_words() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _fwupload
    printf "%s\n" "${COMPREPLY[@]}"' complete "$completions/fwupload.bash" "$@" | sort
}
expect() {
  local wanted=$1; shift
  local got; got=$(complete_words "$@" | tr '\n' ' ')
  [ "$got" = "$wanted" ] || fail "completing '$*' gave '$got', not '$wanted'"
}
mkdir -p "$work/dev/serial/by-id"
touch "$work/dev/ttyUSB3" "$work/dev/ttyACM0" "$work/dev/ttyS0" "$work/dev/serial/by-id/usb-FTDI_FT232R-if00"
touch "$work/trx.fw"
export FWUPLOAD_DEVICE_DIR=$work/dev
expect "--pace --port --present --publish --publish-ca --publish-password-file " "$fwupload" --p
expect "byte stream " "$fwupload" --pace ""
expect " " "$fwupload" --watch --count "$work/tr"  # no file: a number
expect "$work/dev/serial/by-id/usb-FTDI_FT232R-if00 $work/dev/ttyACM0 $work/dev/ttyUSB3 " "$fwupload" --port ""
expect "$work/dev/ttyUSB3 " "$fwupload" -p "$work/dev/ttyU"
expect "$work/trx.fw " "$fwupload" --port "$work/dev/ttyUSB3" "$work/tr"
exit $status
