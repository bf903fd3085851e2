#!/usr/bin/env bash
# Builds libpng for the target from Debian's libpng1.6 source package into
# <deps>/libpng. The source is fetched with a private apt configuration whose
# deb-src entries reuse the machine's own Debian sources; the system's apt
# files are not touched.
set -euo pipefail
deps=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/libpng
[ -f "$prefix/lib/libpng16.a" ] && exit 0

apt=$deps/apt
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$deps/src"
list=$apt/sources.list
: > "$list"
# deb822 files (URIs:/Suites:/Components:) and one-line files alike.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  python3 - "$f" >> "$list" <<'PY'
import sys
stanzas = open(sys.argv[1]).read().split("\n\n")
for s in stanzas:
    fields = {}
    for line in s.splitlines():
        if line.startswith("#") or ":" not in line:
            continue
        k, v = line.split(":", 1)
        fields[k.strip()] = v.strip()
    if "deb" not in fields.get("Types", "").split() or "URIs" not in fields:
        continue
    for uri in fields["URIs"].split():
        for suite in fields.get("Suites", "").split():
            print(f"deb-src {uri} {suite} {fields.get('Components', 'main')}")
PY
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >> "$list"
done
opts=(-o Dir::Etc::SourceList="$list" -o Dir::Etc::SourceParts=- \
      -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
      -o APT::Sandbox::User=root)
echo "setup: fetching the libpng1.6 source package"
apt-get "${opts[@]}" update -qq 2>/dev/null || true
(cd "$deps/src" && apt-get "${opts[@]}" source --download-only libpng1.6/bookworm -qq)
rm -rf "$deps/src/libpng"
dpkg-source --no-check -x "$(ls "$deps"/src/libpng1.6_*.dsc | head -n 1)" "$deps/src/libpng" >/dev/null

echo "setup: building libpng for the target"
cmake -S "$deps/src/libpng" -B "$deps/src/libpng-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
cmake --build "$deps/src/libpng-build" --target install >/dev/null
