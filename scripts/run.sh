#!/usr/bin/env bash
# Sets up, builds, and shows what tarvek makes of the example media folder, as the command-line host
# lists it. Extra arguments go to `tarvek browse` (for example --sort size, --desc or --json).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
./build/tarvek browse examples/media "$@"
