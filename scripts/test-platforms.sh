#!/usr/bin/env bash
# Builds the library and its unit tests for each named platform and runs them; exits non-zero when
# any platform fails. Every platform uses the same tests with the same expected values: identifiers,
# hashes, keys and result documents are constants that must come out the same everywhere.
#
#   test-platforms.sh [--yyjson-source DIR] NAME...     (all platforms when none is named)
#
#   clang    native, built with clang, its own warnings as errors
#   i386     32-bit x86         \
#   armhf    32-bit ARM          | Debian's cross compiler, the tests run under qemu-user, yyjson 0.12
#   arm64    64-bit ARM          | of that architecture unpacked into build-platforms/NAME/root, and
#   s390x    64-bit big-endian  /  GoogleTest built for the target from the sources of libgtest-dev
#   windows  x86-64 Windows with Debian's mingw-w64 (posix threads) cross compiler, run under wine:
#            yyjson cross-built from its release sources (--yyjson-source DIR, or the environment's
#            TARVEK_YYJSON_SOURCE; they are only read) and utf8proc from Debian's source package
#            (fetched by setup.sh), both installed into build-platforms/windows/root; then the DLL,
#            the static library, the command-line host, the unit tests, the corpus replays and the
#            host's tests built and run by ctest through wine (its prefix in
#            build-platforms/windows/wine). The runtimes of gcc, libstdc++ and winpthread are linked
#            into every program, so the DLL and the host need nothing beside yyjson's DLL.
#            Without yyjson's sources the script says so and only compiles (labelled "compile-only"):
#            the library as the DLL and as the static library, its header from C and the host.
#
# scripts/setup.sh installs what each named platform needs. Builds go to build-platforms/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(clang i386 armhf arm64 s390x windows)
yyjson_source=${TARVEK_YYJSON_SOURCE:-}
if [ "${1:-}" = --yyjson-source ]; then
    [ $# -ge 2 ] || { echo "test-platforms: --yyjson-source needs a folder" >&2; exit 2; }
    yyjson_source=$2
    shift 2
fi
if [ -n "$yyjson_source" ]; then
    [ -f "$yyjson_source/src/yyjson.h" ] || { echo "test-platforms: no yyjson sources in $yyjson_source" >&2; exit 2; }
    yyjson_source=$(cd "$yyjson_source" && pwd)
fi
export TARVEK_YYJSON_SOURCE=$yyjson_source
names=("$@")
[ "${1:-}" != --one ] || names=()
[ ${#names[@]} -gt 0 ] || names=("${all[@]}")

declare -A TRIPLET=([i386]=i686-linux-gnu [armhf]=arm-linux-gnueabihf [arm64]=aarch64-linux-gnu
    [s390x]=s390x-linux-gnu)
declare -A MULTIARCH=([i386]=i386-linux-gnu [armhf]=arm-linux-gnueabihf [arm64]=aarch64-linux-gnu
    [s390x]=s390x-linux-gnu)
declare -A PROCESSOR=([i386]=i686 [armhf]=armv7l [arm64]=aarch64 [s390x]=s390x)
declare -A QEMU=([i386]=qemu-i386 [armhf]=qemu-arm [arm64]=qemu-aarch64 [s390x]=qemu-s390x)

# One platform, in a process of its own so that its first failing step ends it.
if [ "${1:-}" = --one ]; then
    one=$2
else
    one=
    setup_args=()
    for name in "${names[@]}"; do
        case "$name" in
            clang | i386 | armhf | arm64 | s390x | windows) setup_args+=(--platform "$name") ;;
            *)
                echo "usage: $0 [--yyjson-source DIR] [NAME...], names: ${all[*]}" >&2
                exit 2
                ;;
        esac
    done
    bash scripts/setup.sh "${setup_args[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
# The unit tests and the fuzz corpus replays; the command-line host and the benchmarks are the native
# build's business.
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON -DTARVEK_BUILD_TESTS=ON -DTARVEK_BUILD_FUZZ=ON
    -DTARVEK_BUILD_TOOLS=OFF -DTARVEK_BUILD_BENCH=OFF)

build_and_test() {
    local build=$1
    shift
    mkdir -p "$build"
    cmake -S . -B "$build" "${common[@]}" "$@" >"$build/configure.log" 2>&1 || {
        cat "$build/configure.log"
        return 1
    }
    cmake --build "$build" -j "$jobs" >"$build/build.log" 2>&1 || {
        cat "$build/build.log"
        return 1
    }
    ctest --test-dir "$build" --output-on-failure "${ctest_args[@]:--j$jobs}"
}

test_clang() {
    CC=clang CXX=clang++ build_and_test build-platforms/clang
}

# A cross build: the target's compiler, its C library from the cross toolchain, yyjson from the
# platform's root, GoogleTest from source, and every test program run through qemu-user.
test_cross() {
    local name=$1 build=build-platforms/$1
    local triplet=${TRIPLET[$name]} root
    root=$(cd "build-platforms/$name/root" && pwd)
    mkdir -p "$build"
    cat >"$build/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${PROCESSOR[$name]})
set(CMAKE_C_COMPILER $triplet-gcc)
set(CMAKE_CXX_COMPILER $triplet-g++)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet $root)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU[$name]} -L /usr/$triplet)
EOF
    build_and_test "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/$build/toolchain.cmake" \
        -Dyyjson_DIR="$root/usr/lib/${MULTIARCH[$name]}/cmake/yyjson" -DTARVEK_GTEST_SOURCE_DIR=/usr/src/googletest
}

# Without yyjson's sources: compiles, with warnings as errors, what a Windows build is made of. The
# headers of yyjson, CLI11 (header-only) and utf8proc are the same on every architecture; they are
# copied alone so that no header of this machine's C library is in sight.
test_windows_compile_only() {
    local build=build-platforms/windows/compile-only
    echo "windows: compile-only: no yyjson sources given (--yyjson-source DIR or TARVEK_YYJSON_SOURCE),"
    echo "windows: compile-only: so nothing is linked or run"
    local cxx=x86_64-w64-mingw32-g++-posix cc=x86_64-w64-mingw32-gcc-posix
    rm -rf "$build"
    mkdir -p "$build/include" "$build/obj"
    cp "$(pkg-config --variable=includedir yyjson)/yyjson.h" "$build/include/"
    cp -r "$(pkg-config --variable=includedir CLI11)/CLI" "$build/include/"
    cp "$(pkg-config --variable=includedir libutf8proc)/utf8proc.h" "$build/include/"
    local warnings=(-Wall -Wextra -Werror)
    local library=(-std=c++17 -O2 -fno-exceptions -fno-rtti -Wpedantic "${warnings[@]}" -Iinclude -Isrc
        -I"$build/include")
    local source
    for source in src/*.cpp; do
        local object
        object=$build/obj/$(basename "$source" .cpp)
        "$cxx" "${library[@]}" -DTARVEK_BUILDING_SHARED -c "$source" -o "$object.dll.o"
        "$cxx" "${library[@]}" -DTARVEK_STATIC -c "$source" -o "$object.static.o"
    done
    echo "windows: compile-only: the library compiles as the DLL and as the static library"
    "$cc" -std=c99 -Wpedantic "${warnings[@]}" -Iinclude -c tests/header_c99.c -o "$build/obj/header-dll.o"
    "$cc" -std=c99 -Wpedantic "${warnings[@]}" -DTARVEK_STATIC -Iinclude -c tests/header_c99.c \
        -o "$build/obj/header-static.o"
    echo "windows: compile-only: the header compiles from C99 for users of the DLL and of the static library"
    for source in tools/*.cpp; do
        "$cxx" -std=c++17 -O2 "${warnings[@]}" -DTARVEK_STATIC -DUTF8PROC_STATIC -DTARVEK_VERSION='"0"' \
            -Iinclude -Itools -I"$build/include" -c "$source" -o "$build/obj/cli-$(basename "$source" .cpp).o"
    done
    echo "windows: compile-only: the command-line host compiles"
}

# The Windows build, linked and run under wine. yyjson and utf8proc are cross-built with their own
# CMake into the platform's root (once; a new yyjson source folder builds it again); CLI11 is
# header-only, and its headers and CMake package are copied there so that the machine's /usr/include
# stays out of the Windows compiler's sight.
test_windows() {
    local build=build-platforms/windows root wine here=$PWD
    root=$(mkdir -p "$build/root" && cd "$build/root" && pwd)
    wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
    [ -x "$wine" ] || { echo "windows: wine64 is not installed (scripts/setup.sh --platform windows)" >&2; return 1; }
    local prefix=$here/$build/wine
    mkdir -p "$prefix"
    cat >"$build/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $root)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR $here/$build/wine.sh)
EOF
    # Programs run under wine, in a prefix of the build's own, and find yyjson's DLL and the library's
    # through WINEPATH.
    cat >"$build/wine.sh" <<EOF
#!/bin/sh
export WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPATH='Z:$root/bin;Z:$here/$build'
exec '$wine' "\$@"
EOF
    chmod +x "$build/wine.sh"
    local tool=(-DCMAKE_TOOLCHAIN_FILE="$here/$build/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$root")
    local stamp="$root/.yyjson-source"
    if [ "$(cat "$stamp" 2>/dev/null)" != "$TARVEK_YYJSON_SOURCE" ]; then
        rm -rf "$build/yyjson"
        { cmake -S "$TARVEK_YYJSON_SOURCE" -B "$build/yyjson" "${tool[@]}" -DBUILD_SHARED_LIBS=ON &&
            cmake --build "$build/yyjson" -j "$jobs" && cmake --install "$build/yyjson"; } >"$build/yyjson.log" 2>&1 || {
            cat "$build/yyjson.log"
            return 1
        }
        echo "$TARVEK_YYJSON_SOURCE" >"$stamp"
        echo "windows: yyjson cross-built into $build/root"
    fi
    if [ ! -f "$root/lib/pkgconfig/libutf8proc.pc" ]; then
        local utf8proc
        utf8proc=$(find "$build" -maxdepth 1 -type d -name 'utf8proc-*' | sort | tail -n 1)
        [ -n "$utf8proc" ] || { echo "windows: utf8proc's sources are missing (scripts/setup.sh --platform windows)" >&2; return 1; }
        rm -rf "$build/utf8proc"
        { cmake -S "$utf8proc" -B "$build/utf8proc" "${tool[@]}" -DBUILD_SHARED_LIBS=OFF &&
            cmake --build "$build/utf8proc" -j "$jobs" && cmake --install "$build/utf8proc"; } >"$build/utf8proc.log" 2>&1 || {
            cat "$build/utf8proc.log"
            return 1
        }
        echo "windows: utf8proc cross-built into $build/root"
    fi
    local cli11
    cli11=$(pkg-config --variable=includedir CLI11)
    [ -d "$cli11/CLI" ] || { echo "windows: CLI11's headers are missing" >&2; return 1; }
    mkdir -p "$root/include" "$root/share/cmake"
    cp -r "$cli11/CLI" "$root/include/"
    cp -r "$(dirname "$cli11")/share/cmake/CLI11" "$root/share/cmake/"

    # The prefix is made before the tests run side by side. Its wine server runs until it is stopped
    # after them: one that ends by itself when idle can end while a loaded machine starts the next
    # test, whose wine then fails ("recvmsg: Connection reset by peer").
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    local server
    server=$(dirname "$wine")/wineserver
    "$server" -p
    "$wine" wineboot --init >/dev/null 2>&1 || true
    # The tests run one at a time, and one whose wine failed to start is given a second run: wine's
    # start-up, not the test, fails now and then on a loaded machine (hung or cut off from the server).
    local ctest_args=(-j1 --repeat until-pass:2)
    local status=0
    PKG_CONFIG_LIBDIR=$root/lib/pkgconfig PKG_CONFIG_PATH='' build_and_test "$build" "${tool[@]}" \
        -DTARVEK_BUILD_TOOLS=ON -DTARVEK_GTEST_SOURCE_DIR=/usr/src/googletest || status=$?
    "$server" -k 2>/dev/null || true
    return "$status"
}

if [ -n "$one" ]; then
    case "$one" in
        clang) test_clang ;;
        windows)
            if [ -n "$TARVEK_YYJSON_SOURCE" ]; then test_windows; else test_windows_compile_only; fi
            ;;
        *) test_cross "$one" ;;
    esac
    exit 0
fi

mkdir -p build-platforms
failed=()
for name in "${names[@]}"; do
    echo "=== $name"
    if bash "$0" --one "$name"; then
        echo "=== $name passed"
    else
        failed+=("$name")
        echo "=== $name FAILED"
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "test-platforms: failed: ${failed[*]}" >&2
    exit 1
fi
echo "test-platforms: passed: ${names[*]}"
