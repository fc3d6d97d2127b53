#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# each one for SECONDS seconds (default 60), one after the other:
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]      (all targets when none is named)
#
# Each target fuzzes a working corpus in build-fuzz/work/TARGET, seeded from fuzz/corpus/TARGET, so the
# checked-in corpus is never written. Inputs that crash, leak or time out land in
# build-fuzz/artifacts/TARGET with libFuzzer's log beside them. Copy a finding into fuzz/corpus/TARGET
# as a regression seed once it is fixed. Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(fuzz_listing fuzz_natural_cmp fuzz_hidden fuzz_utf8_hash fuzz_base64)
seconds=60
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
    [ -d "fuzz/corpus/$target" ] || { echo "fuzz: unknown target $target (known: ${all_targets[*]})" >&2; exit 2; }
done

bash scripts/setup.sh --fuzz

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON -DTARVEK_LIBFUZZER=ON \
    -DTARVEK_BUILD_FUZZ=ON -DTARVEK_BUILD_TESTS=OFF -DTARVEK_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

found=0
summary=()
for target in "${targets[@]}"; do
    work="$build/work/$target"
    artifacts="$build/artifacts/$target"
    mkdir -p "$work" "$artifacts"
    cp -rn "fuzz/corpus/$target/." "$work/"
    dict=()
    [ ! -f "fuzz/$target.dict" ] || dict=(-dict="fuzz/$target.dict")
    log="$artifacts/fuzz.log"
    stamp="$artifacts/.started"
    touch "$stamp"
    echo "fuzz: $target for ${seconds}s"
    status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "${dict[@]}" "$work" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    # Only this run's artifacts count; those of earlier runs stay where they are.
    findings=$(find "$artifacts" -maxdepth 1 -type f -newer "$stamp" \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
        found=1
        result="FOUND $findings input(s) in $artifacts (exit $status, log $log)"
    else
        result="nothing found"
    fi
    summary+=("$(printf '%-18s %12s executions  %s' "$target" "${executions:-?}" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$found"
