#!/usr/bin/env bash
# Compares the ABI of the built shared library with the baseline abi/libtarvek.abi, written by abidw:
# a changed signature of an export, an added export or a removed one fails the check until the
# baseline is deliberately updated. A change or removal also calls for a new SOVERSION.
#
#   abi.sh [--update] [BUILD_DIR]     (BUILD_DIR: build by default, a build with debug information)
#
# The baseline records only the exported interface (the functions of tarvek.h and the types they
# use), with the source paths made relative to the project, so it is the same on every machine.
set -euo pipefail
cd "$(dirname "$0")/.."

update=0
if [ "${1:-}" = --update ]; then
    update=1
    shift
fi
build=${1:-build}
baseline=abi/libtarvek.abi
bash scripts/setup.sh --abi

library=$build/libtarvek.so
[ -e "$library" ] || { echo "abi: no $library; build first" >&2; exit 1; }
current=$(mktemp)
trap 'rm -f "$current"' EXIT
abidw --no-corpus-path --no-comp-dir-path --no-show-locs --no-architecture --exported-interfaces-only \
    --drop-private-types --drop-undefined-syms --type-id-style hash --headers-dir include "$library" |
    sed "s|path='$PWD/|path='|" >"$current"

if [ "$update" -eq 1 ]; then
    mkdir -p abi
    cp "$current" "$baseline"
    echo "abi: $baseline written from $library"
    exit 0
fi

status=0
abidiff "$baseline" "$current" || status=$?
if [ "$status" -ne 0 ]; then
    echo "abi: $library differs from $baseline (abidiff status $status). If the change is deliberate," \
        "raise SOVERSION when an export changed or went, and run: bash scripts/abi.sh --update" >&2
    exit 1
fi
echo "abi: $library matches $baseline"
