#!/usr/bin/env bash
# Installs what the cross build, the Wine test bench and the dashboard (npm;
# Chromium and Mosquitto for its tests) need, builds the target's libpng,
# SQLite, OpenSSL and MQTT client library, and configures and builds both
# trees. Safe to run again: every step is skipped when its result is already
# there.
#
#   scripts/setup.sh            packages, dependencies, configure, build
# Variables: BUILD (default: build), JOBS (default: nproc), HOST_ONLY=1 (the
# Linux host tree alone: no target libraries, no Windows tree), SANITIZED=1 (also
# build/tsan and build/asan: the host tree again with ThreadSanitizer and
# AddressSanitizer, at -O2 -g; only the tests use them, and test.sh asks).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$here/build}
jobs=${JOBS:-$(nproc)}
deps=$build/deps
mkdir -p "$build" "$deps"

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64
          xvfb xauth imagemagick fonts-dejavu-core cmake ninja-build g++ dpkg-dev python3 perl make
          libgtest-dev libcli11-dev nlohmann-json3-dev libserialport-dev libsqlite3-dev libssl-dev sqlite3
          pkg-config file man-db lintian tmux devscripts tcl mosquitto mosquitto-clients libmosquitto-dev
          chromium)
# The dashboard is built with npm; a node of the machine's own (a newer one
# than Debian's) is kept.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi

if [ "${HOST_ONLY:-}" != 1 ]; then
  "$here/scripts/build-libpng.sh" "$deps"
  "$here/scripts/build-sqlite.sh" "$deps"
  "$here/scripts/build-openssl.sh" "$deps"
  "$here/scripts/build-mosquitto.sh" "$deps"
fi

# The Windows tree finds the target's libraries under these roots; a tree
# configured with other roots (an older setup) is configured again.
roots="$deps/libpng;$deps/sqlite;$deps/openssl;$deps/mosquitto"
if [ "${HOST_ONLY:-}" != 1 ] && ! grep -qsxF "CMAKE_FIND_ROOT_PATH:UNINITIALIZED=$roots" "$build/win/CMakeCache.txt"; then
  cmake -S "$here" -B "$build/win" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_FIND_ROOT_PATH="$roots" \
    -DFWU_HOST_TOOLS="$build/host" >/dev/null
fi
# Configures and builds a native tree; one configured from another source
# folder (an older layout) is made anew.
#   build_native <tree> <cmake options>...
build_native() {
  local tree=$1
  shift
  if ! grep -qsx "CMAKE_HOME_DIRECTORY:INTERNAL=$here" "$tree/CMakeCache.txt"; then
    rm -rf "$tree"
    cmake -S "$here" -B "$tree" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$tree" -j "$jobs"
}
build_native "$build/host" -DCMAKE_BUILD_TYPE=Release
if [ "${SANITIZED:-0}" = 1 ]; then
  for sanitizer in thread address; do
    build_native "$build/${sanitizer:0:1}san" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFWU_SANITIZE=$sanitizer
  done
fi
[ "${HOST_ONLY:-}" = 1 ] || cmake --build "$build/win" -j "$jobs"
