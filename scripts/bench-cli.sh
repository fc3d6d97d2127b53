#!/usr/bin/env bash
# Compares the command-line host with `ls -l` on the same generated folder of empty files: wall time
# and peak resident memory of `tarvek browse DIR` and of `ls -l DIR`, both writing to /dev/null,
# measured side by side in one run with GNU time, and printed as ratios to ls -l. Targets: wall time
# no more than ls -l, peak memory within 2x.
#
#   bench-cli.sh [NAME_SET...]     (default: episodes mixed)
#
#   episodes  "Show S01E000001.mkv" ...: every file presented
#   mixed     a film library: videos with subtitles beside them, posters, .nfo files, macOS "._"
#             files and a few subfolders, so the host also asks the library which of its
#             subtitles, pictures and unsupported files are hidden
#
# BENCH_CLI_FILES entries per folder (default 200000), BENCH_CLI_ROUNDS measured runs of each program
# (default 5, after one unmeasured run of each; the median counts). Both programs run under LC_ALL=C,
# where ls -l is at its fastest. The folders are made in a temporary directory and removed at the end.
# scripts/setup.sh --bench-cli installs GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --bench-cli

files=${BENCH_CLI_FILES:-200000}
rounds=${BENCH_CLI_ROUNDS:-5}
sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(episodes mixed)
for set in "${sets[@]}"; do
    case "$set" in
        episodes | mixed) ;;
        *)
            echo "usage: $0 [episodes] [mixed]" >&2
            exit 2
            ;;
    esac
done

cmake -S . -B build-bench-cli -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON -DTARVEK_BUILD_TESTS=OFF \
    -DTARVEK_BUILD_FUZZ=OFF -DTARVEK_BUILD_BENCH=OFF >/dev/null
cmake --build build-bench-cli -j "$(nproc 2>/dev/null || echo 2)" --target tarvek_cli >/dev/null
tarvek=$PWD/build-bench-cli/tarvek

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The names of a set, one a line: $files entries in all, folders ending in '/'.
names() {
    case "$1" in
        episodes) seq -f 'Show S01E%06g.mkv' 1 "$files" ;;
        mixed)
            awk -v n="$files" 'BEGIN {
                for (i = 1; i <= n; i++) {
                    f = int((i + 9) / 10)
                    film = sprintf("Film %06d (%d) 1080p", f, 1950 + f % 70)
                    r = i % 10
                    if (i % 1000 == 0) print sprintf("Extras %06d/", i / 1000)
                    else if (r <= 4) print film (r == 0 ? ".mkv" : r == 1 ? ".mp4" : r == 2 ? " part 2.mkv" : r == 3 ? ".m4v" : ".avi")
                    else if (r <= 6) print film (r == 5 ? ".en.srt" : ".fr.srt")
                    else if (r == 7) print film "-poster.jpg"
                    else if (r == 8) print film ".nfo"
                    else print "._" film ".mkv"
                }
            }'
            ;;
    esac
}

# Makes the folder of set $1 in $2.
make_folder() {
    mkdir -p "$2"
    (
        cd "$2"
        names "$1" | awk '!/\/$/' | tr '\n' '\0' | xargs -0 touch
        names "$1" | awk '/\/$/' | tr '\n' '\0' | xargs -0 -r mkdir
    )
}

# Runs a command with its output to /dev/null and prints "seconds kilobytes".
measure() {
    LC_ALL=C /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        echo "bench-cli: failed: $*" >&2
        cat "$work/stderr" >&2
        exit 1
    }
    cat "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "bench-cli: $files entries per folder, $rounds runs of each program, alternating, medians; LC_ALL=C"
printf '%-9s %10s %10s %8s %12s %12s %8s\n' "names" "ls -l s" "tarvek s" "time" "ls -l MiB" "tarvek MiB" "memory"
verdict=0
for set in "${sets[@]}"; do
    dir=$work/$set
    make_folder "$set" "$dir"
    [ "$(find "$dir" -mindepth 1 -maxdepth 1 | wc -l)" -eq "$files" ] || { echo "bench-cli: $set: not $files entries" >&2; exit 1; }
    measure ls -l "$dir" >/dev/null
    measure "$tarvek" browse "$dir" >/dev/null
    : >"$work/ls" && : >"$work/tarvek"
    for ((i = 0; i < rounds; i++)); do
        measure ls -l "$dir" >>"$work/ls"
        measure "$tarvek" browse "$dir" >>"$work/tarvek"
    done
    ls_time=$(cut -d' ' -f1 "$work/ls" | median)
    ls_rss=$(cut -d' ' -f2 "$work/ls" | median)
    tv_time=$(cut -d' ' -f1 "$work/tarvek" | median)
    tv_rss=$(cut -d' ' -f2 "$work/tarvek" | median)
    read -r time_ratio rss_ratio ok < <(awk -v lt="$ls_time" -v tt="$tv_time" -v lr="$ls_rss" -v tr="$tv_rss" \
        'BEGIN { t = tt / lt; m = tr / lr; printf "%.2f %.2f %d\n", t, m, (t <= 1.0 && m <= 2.0) }')
    printf '%-9s %10s %10s %7sx %12.1f %12.1f %7sx\n' "$set" "$ls_time" "$tv_time" "$time_ratio" \
        "$(awk -v k="$ls_rss" 'BEGIN { print k / 1024 }')" "$(awk -v k="$tv_rss" 'BEGIN { print k / 1024 }')" "$rss_ratio"
    [ "$ok" -eq 1 ] || verdict=1
    rm -rf "$dir"
done
if [ "$verdict" -eq 0 ]; then
    echo "bench-cli: targets met (wall time <= 1.0x ls -l, peak memory <= 2.0x ls -l)"
else
    echo "bench-cli: a target was MISSED (wall time <= 1.0x ls -l, peak memory <= 2.0x ls -l)"
fi
