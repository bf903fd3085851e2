#!/usr/bin/env bash
# Builds the MQTT client library for the target from Debian's mosquitto source
# package into <deps>/mosquitto (include/mosquitto.h and the headers it pulls
# in, lib/libmosquitto.a: static, so the .exe files still import only system
# DLLs). Only lib/ is compiled, with the target's compiler, with TLS against
# the OpenSSL of <deps>/openssl (scripts/build-openssl.sh, which runs first):
# no broker, no TLS-PSK, no threading (publish/ drives each client from one
# thread with mosquitto_loop), no SOCKS.
set -euo pipefail
deps=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/mosquitto
# An older build, without TLS, has no with-tls beside its library: it is made
# again.
[ -f "$prefix/lib/libmosquitto.a" ] && [ -f "$prefix/lib/with-tls" ] && exit 0

source=$deps/src/mosquitto
work=$deps/src/mosquitto-build
"$here/scripts/fetch-debian-source.sh" "$deps" mosquitto/bookworm "$source"

echo "setup: building the MQTT client library for the target"
rm -rf "$work"
mkdir -p "$work"
version=$(sed -n 's/^set (VERSION \(.*\))$/\1/p' "$source/CMakeLists.txt")
for c in "$source"/lib/*.c; do
  x86_64-w64-mingw32-gcc-posix -O2 -DLIBMOSQUITTO_STATIC -DWITH_TLS -DVERSION="\"$version\"" \
    -I"$source" -I"$source/lib" -I"$source/include" -I"$source/deps" -I"$deps/openssl/include" \
    -c "$c" -o "$work/$(basename "$c" .c).o"
done
x86_64-w64-mingw32-ar rcs "$work/libmosquitto.a" "$work"/*.o
mkdir -p "$prefix/include" "$prefix/lib"
cp "$source"/include/mosquitto.h "$source"/include/mqtt_protocol.h "$prefix/include/"
cp "$source/debian/copyright" "$prefix/copyright"  # for the packages that carry it
# The library, then with-tls, last: together they say the build is complete.
rm -f "$prefix/lib/with-tls"
cp "$work/libmosquitto.a" "$prefix/lib/libmosquitto.a.part"
mv "$prefix/lib/libmosquitto.a.part" "$prefix/lib/libmosquitto.a"
: >"$prefix/lib/with-tls"
