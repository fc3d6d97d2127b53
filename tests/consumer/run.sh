#!/usr/bin/env bash
# Builds and runs the small C host against tarvek as a player's project would use it:
#   1. the build installed into a prefix, found through CMake and through pkg-config, shared and
#      static (`pkg-config --static`: no C++ runtime, only yyjson);
#   2. the library configured as a distribution configures it (an absolute libdir, no tests, neither
#      GoogleTest nor Google Benchmark to be found), installed and used the same ways;
#   3. the sources added to the player's tree as a subproject, which builds the two libraries and
#      nothing else of tarvek's.
#   run.sh SOURCE_DIR BUILD_DIR C_COMPILER
set -euo pipefail
# Nothing may outlive the test: the script runs in a process group of its own under `timeout`, which
# ends the whole group (the builds and the hosts included) after TARVEK_CONSUMER_SECONDS (540 by
# default, within ctest's TIMEOUT of 600, which would stop this script alone).
if [ -z "${TARVEK_CONSUMER_GROUP:-}" ]; then
    export TARVEK_CONSUMER_GROUP=1
    exec timeout --kill-after=10 "${TARVEK_CONSUMER_SECONDS:-540}" bash "$0" "$@"
fi
trap 'exit 143' TERM
source_dir=$1
build=$2
cc=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)
multiarch=$("$cc" -print-multiarch 2>/dev/null || true)
multiarch=${multiarch:-.}

fail() {
    echo "consumer: $*" >&2
    exit 1
}

# Builds and runs the hosts against an installed tree, through CMake and pkg-config.
use_installed() {
    local label=$1 prefix=$2 libdir=$3
    test -L "$libdir/libtarvek.so" && test -e "$libdir/libtarvek.so.0" && test -e "$libdir/libtarvek.a" ||
        fail "$label: the libraries are not in $libdir"

    cmake -S "$here" -B "$work/$label-cmake" -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
    cmake --build "$work/$label-cmake" -j "$jobs" >/dev/null
    "$work/$label-cmake/host_shared" >/dev/null
    "$work/$label-cmake/host_static" >/dev/null
    echo "consumer: $label: CMake package, shared and static, passed"

    export PKG_CONFIG_PATH="$libdir/pkgconfig"
    local flags static_flags
    flags=$(pkg-config --cflags --libs tarvek)
    static_flags=$(pkg-config --static --cflags --libs tarvek)
    case "$static_flags" in *c++*) fail "$label: the static flags name a C++ runtime: $static_flags" ;; esac
    # shellcheck disable=SC2086
    "$cc" -std=c99 -Wall -Wextra -Werror "$here/host.c" -o "$work/$label-pc-shared" $flags -Wl,-rpath,"$libdir"
    "$work/$label-pc-shared" >/dev/null
    # The static library, linked by the C compiler with the flags of `pkg-config --static`, the archive
    # standing in for -ltarvek (which would pick the shared library beside it).
    # shellcheck disable=SC2086
    "$cc" -std=c99 -Wall -Wextra -Werror "$here/host.c" -o "$work/$label-pc-static" \
        ${static_flags/-ltarvek/$libdir/libtarvek.a}
    "$work/$label-pc-static" >/dev/null
    if readelf -d "$work/$label-pc-static" | grep -E 'NEEDED.*(tarvek|c\+\+|gcc_s)'; then
        fail "$label: the statically linked host needs more than yyjson and the C library"
    fi
    unset PKG_CONFIG_PATH
    echo "consumer: $label: pkg-config, shared and static, passed"
}

# 1. The build in hand, installed into a prefix with the default, relative directories.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
use_installed relative "$work/prefix" "$(dirname "$(find "$work/prefix" -name tarvek.pc -path '*/pkgconfig/*')")/.."

# 2. As a distribution builds it (Debian: /usr/lib/x86_64-linux-gnu): absolute libdir, no tests, GoogleTest and Google Benchmark unavailable.
cmake -S "$source_dir" -B "$work/distro-build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$work/usr" -DCMAKE_INSTALL_LIBDIR="$work/usr/lib/$multiarch" \
    -DTARVEK_BUILD_TESTS=OFF -DTARVEK_BUILD_TOOLS=OFF -DTARVEK_BUILD_FUZZ=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/distro.log" 2>&1 ||
    fail "configuring as a distribution failed: $(cat "$work/distro.log")"
cmake --build "$work/distro-build" -j "$jobs" >/dev/null
cmake --install "$work/distro-build" >/dev/null
grep -q "^libdir=$work/usr/lib/$multiarch\$" "$work/usr/lib/$multiarch/pkgconfig/tarvek.pc" ||
    fail "absolute libdir: $(cat "$work/usr/lib/$multiarch/pkgconfig/tarvek.pc")"
use_installed absolute "$work/usr" "$work/usr/lib/$multiarch"

# 3. As a subproject of the player's build.
cmake -S "$here" -B "$work/subproject" -DCMAKE_C_COMPILER="$cc" -DTARVEK_SOURCE_DIR="$source_dir" >/dev/null
cmake --build "$work/subproject" -j "$jobs" >/dev/null
"$work/subproject/host_shared" >/dev/null
"$work/subproject/host_static" >/dev/null
others=$(find "$work/subproject/tarvek" -type f -perm -u+x ! -name 'libtarvek*' -newer "$work/subproject/CMakeCache.txt")
[ -z "$others" ] || fail "the subproject built more than its libraries: $others"
echo "consumer: subproject passed"
