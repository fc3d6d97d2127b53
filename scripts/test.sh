#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a normal build (with the ABI check of the shared
# library), once under AddressSanitizer and UndefinedBehaviorSanitizer with leak detection on, the
# unit tests once more under valgrind, and the unit tests on every platform of the matrix (clang;
# i386, armhf, arm64 and s390x under qemu-user; windows, the DLL, the host and their tests under wine,
# with yyjson built from its release sources: TARVEK_YYJSON_SOURCE, by default the folder
# ../shared/third_party/yyjson-0.12.0 beside the repository). Warnings are errors throughout.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --abi --valgrind

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash scripts/abi.sh build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVEK_WERROR=ON -DTARVEK_SANITIZE=ON -DTARVEK_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

bash scripts/valgrind.sh

bash scripts/test-platforms.sh --yyjson-source "${TARVEK_YYJSON_SOURCE:-../shared/third_party/yyjson-0.12.0}" \
    clang i386 armhf arm64 s390x windows
