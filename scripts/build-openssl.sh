#!/usr/bin/env bash
# Builds OpenSSL for the target from Debian's openssl source package into
# <deps>/openssl (include/openssl/*.h, lib/libssl.a, lib/libcrypto.a): static,
# so the .exe files still import only system DLLs. Only the libraries are
# built: no programs, no tests, no manuals. The MQTT client library is built
# against it for mqtts:// (scripts/build-mosquitto.sh).
#
# The folders OpenSSL looks in on the machine it runs on (its openssl.cnf,
# which the MQTT client library loads at start) are under C:\Program Files,
# where only administrators write: a MinGW build left to itself takes them
# under its prefix, such as C:\usr\local\ssl, which any user can make. Nothing
# is loaded from a DLL (no-engine, no-dso).
set -euo pipefail
deps=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/openssl
[ -f "$prefix/lib/libssl.a" ] && exit 0

source=$deps/src/openssl
stage=$deps/src/openssl-install
log=$deps/src/openssl-build.log
"$here/scripts/fetch-debian-source.sh" "$deps" openssl/bookworm "$source"

echo "setup: building OpenSSL for the target (the longest step: several minutes; log: $log)"
# Built in the unpacked source, which each fetch makes anew.
if ! (cd "$source" &&
      ./Configure mingw64 no-shared no-tests no-engine no-dso \
        --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix CXX=g++-posix \
        --prefix="C:/Program Files/OpenSSL" --libdir=lib &&
      make -j "${JOBS:-$(nproc)}" build_libs) >"$log" 2>&1; then
  tail -n 20 "$log" >&2
  exit 1
fi
rm -rf "$stage"
mkdir -p "$stage/include/openssl" "$stage/lib"
cp "$source"/include/openssl/*.h "$stage/include/openssl/"
cp "$source/libssl.a" "$source/libcrypto.a" "$stage/lib/"
cp "$source/debian/copyright" "$stage/copyright"  # for the packages that carry it
# The whole result last: its presence is what says the build is complete.
rm -rf "$prefix"
mv "$stage" "$prefix"
