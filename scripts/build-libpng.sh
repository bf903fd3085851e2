#!/usr/bin/env bash
# Builds libpng for the target from Debian's libpng1.6 source package into
# <deps>/libpng.
set -euo pipefail
deps=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/libpng
[ -f "$prefix/lib/libpng16.a" ] && exit 0

"$here/scripts/fetch-debian-source.sh" "$deps" libpng1.6/bookworm "$deps/src/libpng"

echo "setup: building libpng for the target"
cmake -S "$deps/src/libpng" -B "$deps/src/libpng-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
cmake --build "$deps/src/libpng-build" --target install >/dev/null
# Its licence and notices, for the packages that carry the library.
cp "$deps/src/libpng/debian/copyright" "$prefix/copyright"
