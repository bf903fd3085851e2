#!/usr/bin/env bash
# Builds SQLite for the target from Debian's sqlite3 source package into
# <deps>/sqlite (include/sqlite3.h, lib/libsqlite3.a: static, so the .exe
# files still import only system DLLs). Debian's source is SQLite's full
# tree: its own configure and make (run natively, with tclsh) generate the
# one-file amalgamation, which is then compiled with the target's compiler.
set -euo pipefail
deps=$1
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/sqlite
[ -f "$prefix/lib/libsqlite3.a" ] && exit 0

source=$deps/src/sqlite
work=$deps/src/sqlite-build
"$here/scripts/fetch-debian-source.sh" "$deps" sqlite3/bookworm "$source"

echo "setup: building SQLite for the target"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && "$source/configure" --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -c "$work/sqlite3.c" -o "$work/sqlite3.o"
x86_64-w64-mingw32-ar rcs "$work/libsqlite3.a" "$work/sqlite3.o"
mkdir -p "$prefix/include" "$prefix/lib"
cp "$work/sqlite3.h" "$prefix/include/"
cp "$source/debian/copyright" "$prefix/copyright"  # for the packages that carry it
# The library last: its presence is what says the build is complete.
cp "$work/libsqlite3.a" "$prefix/lib/libsqlite3.a.part"
mv "$prefix/lib/libsqlite3.a.part" "$prefix/lib/libsqlite3.a"
