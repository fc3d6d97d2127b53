#!/usr/bin/env bash
# Sets up, builds, and shows what the library makes of the example listing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
./build/show_listing examples/listing.json "$@"
