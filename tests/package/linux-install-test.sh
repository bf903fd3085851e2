#!/usr/bin/env bash
# fwupload installed as a Linux user gets it. `cmake --install` with a prefix
# and DESTDIR puts exactly its files where they belong: the README and the
# pages and pictures of doc/ among them. The .deb, made by
# CPack, holds exactly its files, no maintainer script, a changelog whose
# newest entry is the project's version, the dashboard as built, and lintian finds no error in it
# where lintian is installed; unpacked into a root of its own, the fwupload
# inside is built with Debian's hardening (hardening-check, from devscripts,
# finds PIE, stack protector, fortified calls, relro and immediate binding),
# tells that version and updates a virtual device.
#   linux-install-test.sh <host build> <virtual-device> <version> <source>
set -euo pipefail
build=$1 device=$2 version=$3 source=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/fwu-install-XXXXXX")
device_pid=
cleanup() {
  [ -z "$device_pid" ] || kill "$device_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
dashboard_files() { printf '%s ' "$1/dashboard.css" "$1/dashboard.js" "$1/index.html"; }
files_under() { (cd "$1" && find . -type f | sort | tr '\n' ' '); }
expect_files() {
  local got; got=$(files_under "$1")
  local wanted; wanted=$(tr ' ' '\n' <<<"$2" | grep . | sort | tr '\n' ' ')
  [ "$got" = "$wanted" ] || fail "$3 holds: $got"
}
# documentation <folder>: the README and the pages and pictures of doc/, installed in <folder>.
documentation() { (cd "$source" && echo README.md && find doc -name '*.md' -o -name '*.png') | sed "s|^|$1/|" | tr '\n' ' '; }

DESTDIR=$work/staged cmake --install "$build" --prefix /opt/fw >/dev/null
expect_files "$work/staged" "./opt/fw/bin/fwupload ./opt/fw/share/bash-completion/completions/fwupload \
./opt/fw/share/man/man1/fwupload.1 ./opt/fw/share/zsh/site-functions/_fwupload $(documentation ./opt/fw/share/doc/fwupload) $(dashboard_files ./opt/fw/share/fwupload/dashboard)" \
  "cmake --install"

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
deb=$work/out/fwupload_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"
for library in libserialport libsqlite3 libssl; do
  dpkg-deb -f "$deb" Depends | grep -q $library || fail "Depends lacks $library: $(dpkg-deb -f "$deb" Depends)"
done
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'inst$|rm$')" ] || fail "the package has maintainer scripts"
dpkg-deb -x "$deb" "$work/root"
expect_files "$work/root" "./usr/bin/fwupload ./usr/share/bash-completion/completions/fwupload \
./usr/share/doc/fwupload/changelog.gz ./usr/share/doc/fwupload/copyright \
./usr/share/man/man1/fwupload.1.gz ./usr/share/zsh/vendor-completions/_fwupload $(documentation ./usr/share/doc/fwupload) $(dashboard_files ./usr/share/fwupload/dashboard)" "the .deb"
diff -r "$build/dashboard" "$work/root/usr/share/fwupload/dashboard" || fail "the dashboard is not the one built"
newest=$(zcat "$work/root/usr/share/doc/fwupload/changelog.gz" | head -1)
[[ $newest == "fwupload ($version) "* ]] || fail "the changelog's newest entry is: $newest"

fwupload=$work/root/usr/bin/fwupload
command -v hardening-check >/dev/null || fail "hardening-check is missing: install devscripts (scripts/setup.sh does)"
# Control-flow protection is not among what this Debian release's
# dpkg-buildflags gives (later ones add it), so it is not asked for.
hardening-check --nocfprotection "$fwupload" >"$work/hardening" 2>&1 || fail "the packaged fwupload lacks hardening: $(cat "$work/hardening")"
[ "$("$fwupload" --version)" = "fwupload $version" ] || fail "--version says: $("$fwupload" --version)"
head -c 3000 /dev/urandom >"$work/fw.bin"
"$device" --link "$work/port" --log "$work/received.bin" --ready "$work/ready" --body-length 2984 --quiet &
device_pid=$!
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || fail "the virtual device did not come up"
"$fwupload" --quiet --port "$work/port" "$work/fw.bin" || fail "fwupload exited with $?"
cmp -s "$work/fw.bin" "$work/received.bin" || fail "the device did not receive exactly the file"

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian found errors"
else
  echo "lintian is not installed: the package's lint is not checked"
fi
echo "ok: $(basename "$deb")"
