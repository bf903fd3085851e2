#!/usr/bin/env bash
# The Windows zip, made by CPack from the Windows tree, holds exactly the two
# .exe files, as built, the README with the pages and pictures of doc/, the
# dashboard's folder, as built, and the licences of the libraries in the .exe
# files.
#   zip-test.sh <Windows build> <version> <source>
set -euo pipefail
build=$1 version=$2 source=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/fwu-zip-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
zip=$work/out/fwupdater-$version-win64.zip
[ -f "$zip" ] || fail "no $(basename "$zip") in: $(ls "$work/out")"
entries=$(cd "$work" && cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
wanted=$( (echo fwupdater.exe; echo fwupload.exe; cd "$source" && echo README.md && find doc -name '*.md' -o -name '*.png'; printf 'dashboard/%s\n' dashboard.css dashboard.js index.html
  printf 'licences/%s.txt\n' libpng sqlite openssl mosquitto libz-mingw-w64 mingw-w64-common gcc-mingw-w64-base) \
  | LC_ALL=C sort | tr '\n' ' ')
[ "$entries" = "$wanted" ] || fail "the zip holds: $entries"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
cmp "$work/unpacked/fwupdater.exe" "$build/app/fwupdater.exe" || fail "fwupdater.exe is not the one built"
cmp "$work/unpacked/fwupload.exe" "$build/cli/fwupload.exe" || fail "fwupload.exe is not the one built"
diff -r "$work/unpacked/dashboard" "$build/dashboard" || fail "the dashboard is not the one built"
echo "ok: $(basename "$zip")"
