#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# each one for SECONDS seconds (default 60), or for N executions, one after the other:
#
#   bash scripts/fuzz.sh [SECONDS | --runs N] [--merge] [TARGET...]   (all targets when none is named)
#
# Each target fuzzes a working corpus in build-fuzz/work/TARGET, seeded from fuzz/corpus/TARGET, which
# grows from run to run. With --merge, the inputs of the working corpus that reach code (edges, not hit
# counts) the checked-in corpus does not are merged into fuzz/corpus/TARGET, so the replay tests cover
# what fuzzing found and the checked-in corpus stays small. Inputs that crash, leak or time out land in
# build-fuzz/artifacts/TARGET with libFuzzer's log beside them. FUZZ_FLAGS adds libFuzzer flags to
# every run (for example FUZZ_FLAGS=-max_len=1024 for faster executions). Copy a finding into fuzz/corpus/TARGET
# as a regression seed once it is fixed. Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(fuzz_listing fuzz_natural_cmp fuzz_hidden fuzz_utf8_hash fuzz_base64)
limit=(-max_total_time=60)
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
    limit=(-max_total_time="$1")
    shift
elif [ $# -gt 1 ] && [ "$1" = --runs ] && [[ "$2" =~ ^[0-9]+$ ]]; then
    limit=(-runs="$2")
    shift 2
fi
merge=0
if [ "${1:-}" = --merge ]; then
    merge=1
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
    echo "fuzz: $target (${limit[*]})"
    status=0
    # shellcheck disable=SC2086
    "$build/fuzz/$target" "${limit[@]}" ${FUZZ_FLAGS:-} -print_final_stats=1 -artifact_prefix="$artifacts/" \
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
    if [ "$merge" -eq 1 ] && [ "$status" -eq 0 ]; then
        before=$(find "fuzz/corpus/$target" -type f | wc -l)
        "$build/fuzz/$target" -merge=1 -use_counters=0 -use_value_profile=0 "fuzz/corpus/$target" "$work" \
            >"$artifacts/merge.log" 2>&1
        result="$result, corpus $before -> $(find "fuzz/corpus/$target" -type f | wc -l) files"
    fi
    summary+=("$(printf '%-18s %12s executions  %s' "$target" "${executions:-?}" "$result")")
done

echo
printf '%s\n' "${summary[@]}"
exit "$found"
