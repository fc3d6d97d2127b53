#!/usr/bin/env bash
# Installs the built library into a temporary prefix, then builds and runs the small C host against the
# installed package twice: once found through CMake, once through pkg-config.
#   run.sh BUILD_DIR C_COMPILER
set -euo pipefail
build=$1
cc=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name tarvek.pc -path '*/pkgconfig/*')")/..
test -L "$libdir/libtarvek.so" && test -e "$libdir/libtarvek.so.0" && test -e "$libdir/libtarvek.a"

cmake -S "$here" -B "$work/cmake-host" -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-host" >/dev/null
"$work/cmake-host/host" >/dev/null
echo "consumer: CMake package passed"

flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs tarvek)
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror "$here/host.c" -o "$work/pc-host" $flags -Wl,-rpath,"$libdir"
"$work/pc-host" >/dev/null
echo "consumer: pkg-config passed"
