#!/usr/bin/env bash
# Times mpv from its start to a complete playlist on folders of one-second clips (hard links to one
# clip made by mpv's own encoder, named "Episode 1.mkv" ...), headless and paused, in one run:
#   mpv DIR                                      mpv's own directory expansion
#   mpv --script=autoload.lua DIR/MIDDLE         mpv's example script autoload.lua, as Debian's mpv
#                                                package installs it, given the middle episode
#   mpv --script=tarvek.so DIR                   the plugin opening the folder
#   mpv --script=tarvek.so DIR/MIDDLE            the plugin given the middle episode
# and prints the medians and two ratios: the plugin's folder to mpv's own expansion (target: at most
# 1.5x at 20,000 files) and the plugin's middle episode to autoload's (target: at most 0.25x).
# autoload.lua queues at most 5,000 files on each side of the one given, so its playlist is complete
# at 10,001 entries on the largest folder.
#
#   bench-mpv.sh [COUNT...]     (default: 2000 20000)
#
# BENCH_MPV_ROUNDS measured runs of each (default 5, after one unmeasured run of each; alternating).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(2000 20000)
rounds=${BENCH_MPV_ROUNDS:-5}
autoload=$(dpkg -L mpv | grep '/autoload\.lua$' | head -n 1)
[ -r "$autoload" ] || { echo "bench-mpv: mpv's autoload.lua is not installed" >&2; exit 1; }

cmake -S . -B build-bench-mpv -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEK_WERROR=ON -DTARVEK_BUILD_MPV=ON \
    -DTARVEK_BUILD_TOOLS=OFF -DTARVEK_BUILD_FUZZ=OFF -DTARVEK_BUILD_BENCH=OFF >/dev/null
cmake --build build-bench-mpv -j "$(nproc 2>/dev/null || echo 2)" --target tarvek_mpv tarvek_mpv_timer >/dev/null
timer=$PWD/build-bench-mpv/tests/tarvek_mpv_timer
plugin=$PWD/build-bench-mpv/mpv/tarvek.so

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mpv --no-config --really-quiet --ao=null --vo=null -o "$work/clip.mkv" --ovc=mpeg4 \
    av://lavfi:testsrc=size=64x48:rate=10:d=1

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Times configuration $1 (mpv, autoload, tarvek, tarvek-file) on folder $2 of $3 files once.
run() {
    local middle="$2/Episode $(($3 / 2)).mkv" autoload_count=$(($3 > 10001 ? 10001 : $3))
    case "$1" in
        mpv) "$timer" time "$work/socket" "$3" "$2" ;;
        autoload) "$timer" time "$work/socket" "$autoload_count" "$middle" "--script=$autoload" ;;
        tarvek) "$timer" time "$work/socket" "$3" "$2" "--script=$plugin" ;;
        tarvek-file) "$timer" time "$work/socket" "$3" "$middle" "--script=$plugin" ;;
    esac
}

configs=(mpv autoload tarvek tarvek-file)
echo "bench-mpv: $(mpv --version | head -n 1 | cut -d' ' -f1-2); $rounds runs of each, alternating, medians in seconds"
printf '%-7s %8s %9s %8s %12s %12s %14s\n' "files" "mpv" "autoload" "tarvek" "tarvek-file" "tarvek/mpv" \
    "file/autoload"
verdict=0
for count in "${counts[@]}"; do
    dir=$work/folder-$count
    "$timer" folder "$dir" "$count" "$work/clip.mkv"
    for config in "${configs[@]}"; do
        run "$config" "$dir" "$count" >/dev/null
        : >"$work/$config"
    done
    for ((i = 0; i < rounds; i++)); do
        for config in "${configs[@]}"; do run "$config" "$dir" "$count" >>"$work/$config"; done
    done
    declare -A t
    for config in "${configs[@]}"; do t[$config]=$(median <"$work/$config"); done
    read -r folder_ratio file_ratio < <(awk -v m="${t[mpv]}" -v a="${t[autoload]}" -v f="${t[tarvek]}" \
        -v o="${t[tarvek-file]}" 'BEGIN { printf "%.2f %.2f\n", f / m, o / a }')
    printf '%-7s %8s %9s %8s %12s %11sx %13sx\n' "$count" "${t[mpv]}" "${t[autoload]}" "${t[tarvek]}" \
        "${t[tarvek-file]}" "$folder_ratio" "$file_ratio"
    if [ "$count" -ge 20000 ]; then
        awk -v f="$folder_ratio" -v o="$file_ratio" 'BEGIN { exit !(f <= 1.5 && o <= 0.25) }' || verdict=1
    fi
    rm -rf "$dir"
done
if [ "$verdict" -eq 0 ]; then
    echo "bench-mpv: targets met at 20,000 files (tarvek <= 1.5x mpv's expansion, <= 0.25x autoload)"
else
    echo "bench-mpv: a target was MISSED at 20,000 files (tarvek <= 1.5x mpv's expansion, <= 0.25x autoload)"
fi
