# bash completion for fwupload: its options, the serial devices that exist
# after --port, and files for the firmware and the records.

# The serial devices, one a line. FWUPLOAD_DEVICE_DIR stands in for /dev
# where that is wanted (a test, a chroot).
_fwupload_ports() {
  local dev=${FWUPLOAD_DEVICE_DIR:-/dev} path
  for path in "$dev"/ttyUSB* "$dev"/ttyACM* "$dev"/serial/by-id/*; do
    [[ -e $path ]] && printf '%s\n' "$path"
  done
}

# The long options, read from the program's own --help, so that they are
# always those of the fwupload being completed.
_fwupload_options() {
  "$1" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u
}

_fwupload() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} IFS=$'\n'
  if [[ $prev == -p || $prev == --port ]]; then
    COMPREPLY=($(compgen -W "$(_fwupload_ports)" -- "$cur"))
  elif [[ $prev == --count || $prev == --since || $prev == --until || $prev == --serial || $prev == --sha256 ]]; then
    COMPREPLY=()  # a number, a time, a serial number, hex digits
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(_fwupload_options "${COMP_WORDS[0]}")" -- "$cur"))
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _fwupload fwupload
