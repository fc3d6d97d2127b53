#!/usr/bin/env bash
# Runs the unit tests under valgrind's memcheck: no invalid read or write, no use of uninitialised
# memory, and no leak. Extra arguments go to the test program (for example --gtest_filter=Sort*).
# The allocation-failure tests are left out: they replace the allocator, which valgrind replaces too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --valgrind

cmake -S . -B build-valgrind -DCMAKE_BUILD_TYPE=Debug -DTARVEK_WERROR=ON -DTARVEK_BUILD_TOOLS=OFF -DTARVEK_BUILD_MPV=OFF \
    -DTARVEK_BUILD_BENCH=OFF -DTARVEK_BUILD_FUZZ=OFF >/dev/null
cmake --build build-valgrind -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect --track-origins=yes --quiet \
    build-valgrind/tests/tarvek_tests --gtest_brief=1 "$@"
echo "valgrind: memcheck clean"
