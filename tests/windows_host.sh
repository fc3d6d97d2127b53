#!/usr/bin/env bash
# The Windows build of the command-line host, run under wine on folders made here: names in Latin, CJK
# and emoji, a folder argument outside ASCII, a path longer than MAX_PATH, a listing document with a
# name outside ASCII, output to a file and to a console. The folders are reached through a drive letter of their own (T:), so that their
# path texts, and with them every identifier and resume key, are constants: the values below are the
# ones every other platform gives for the same folder path text (tarvek result --folder on Linux).
#
#   windows_host.sh TARVEK_EXE WINE...
set -euo pipefail
exe=$1
shift
wine=("$@")
work=$(mktemp -d)
prefix=$("${wine[@]}" cmd /c 'echo %WINEPREFIX%' | tr -d '\r')
drive="$prefix/dosdevices/t:"
[ ! -L "$drive" ] || [ -e "$drive" ] || rm -f "$drive"  # left by a run that was killed
[ -d "$prefix/dosdevices" ] && [ ! -e "$drive" ] || { echo "windows host: no free drive T: in the wine prefix $prefix" >&2; exit 1; }
ln -s "$work" "$drive"
trap 'rm -f "$drive"; rm -rf "$work"' EXIT
failures=0

fail() {
    echo "windows host: $*" >&2
    failures=$((failures + 1))
}

# Runs the host with the given arguments; its standard output, standard error and status go to
# $work/out, $work/err and $status.
run() {
    status=0
    "${wine[@]}" "$exe" "$@" >"$work/out" 2>"$work/err" || status=$?
}

expect_output() {
    local label=$1 expected=$2
    if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != "$expected" ]; then
        fail "$label: status $status, output:"
        cat "$work/out" "$work/err" >&2
        diff <(echo "$expected") "$work/out" >&2 || true
    fi
}

# The fixtures, every time fixed (1700000000 s after 1970) so that the documents are constants.
show="$work/Série Ünïcode"
mkdir -p "$show/Subs"
printf 1 >"$show/Épisode 1.mkv"
printf 22 >"$show/日本語 2.mkv"
printf 333 >"$show/🎬 3.mkv"
printf 'notes\n' >"$show/notes.txt"
long=$work/long
for part in 1 2 3 4 5 6 7 8 9; do long="$long/dossier ñ $part de la série trop longue"; done
mkdir -p "$long"
printf 4444 >"$long/Fin 4.mkv"
mkdir -p "$work/listes"
cat >"$work/listes/liste é.json" <<'EOF'
[{"name":"Épisode 1.mkv","size":1,"mtime_ms":1700000000000},{"name":"日本語 2.mkv","size":2}]
EOF
find "$work" -exec touch -h -d @1700000000 {} +
modified=$(date -d @1700000000 '+%Y-%m-%d %H:%M:%S')  # the machine's local time, which wine's is

# 1. The view of a folder named outside ASCII, given as the argument.
run browse 'T:\Série Ünïcode'
expect_output "browse" "folder   T:\\Série Ünïcode (backend local)
action   OPEN_FILES
files    4 visible, 0 hidden
subs     Subs/ (listing position 0)
resume   bG9jYWwBVDpcU8OpcmllIMOcbsOvY29kZQ== (legacy VDpcU8OpcmllIMOcbsOvY29kZQ==)

#  name           kind         size  modified             id
   Subs/          subs folder     -  $modified  -
0  Épisode 1.mkv  video         1 B  $modified  1610781482
1  日本語 2.mkv   video         2 B  $modified  732188214
2  🎬 3.mkv       video         3 B  $modified  1654946826
others   1 subtitle (--all lists them)"

# 2. Its result document.
run browse --json 'T:\Série Ünïcode'
expect_output "browse --json" '{
  "action": 1,
  "action_name": "OPEN_FILES",
  "visible_files": 4,
  "hidden_files": 0,
  "backend_id": "local",
  "folder_path": "T:\\Série Ünïcode",
  "subs_folder_index": 0,
  "listing_error": null,
  "items": [
    {
      "name": "Épisode 1.mkv",
      "kind": "video",
      "kind_id": 0,
      "size": 1,
      "mtime_ms": 1700000000000,
      "id": "1610781482",
      "legacy_id": "1855307121"
    },
    {
      "name": "日本語 2.mkv",
      "kind": "video",
      "kind_id": 0,
      "size": 2,
      "mtime_ms": 1700000000000,
      "id": "732188214",
      "legacy_id": "1828866609"
    },
    {
      "name": "🎬 3.mkv",
      "kind": "video",
      "kind_id": 0,
      "size": 3,
      "mtime_ms": 1700000000000,
      "id": "1654946826",
      "legacy_id": "1431347778"
    }
  ]
}'

# 3. A folder deeper than MAX_PATH: listed, with the identifiers of its path text.
long_path='T:\long'
for part in 1 2 3 4 5 6 7 8 9; do long_path="$long_path\\dossier ñ $part de la série trop longue"; done
run browse --json "$long_path"
sed -i 's/^ *//; s/": /":/' "$work/out"
printf '%s' "$(tr -d '\n' <"$work/out")" >"$work/out"
expect_output "browse --json of a long path" '{"action":1,"action_name":"OPEN_FILES","visible_files":1,"hidden_files":0,"backend_id":"local","folder_path":"'"${long_path//\\/\\\\}"'","subs_folder_index":-1,"listing_error":null,"items":[{"name":"Fin 4.mkv","kind":"video","kind_id":0,"size":4,"mtime_ms":1700000000000,"id":"216747146","legacy_id":"2080186553"}]}'

# 4. A listing document whose file name is outside ASCII.
run result --backend local --folder 'T:\Série Ünïcode' 'T:\listes\liste é.json'
expect_output "result" '{"action":1,"action_name":"OPEN_FILES","visible_files":2,"hidden_files":0,"backend_id":"local","folder_path":"T:\\Série Ünïcode","subs_folder_index":-1,"listing_error":null,"items":[{"name":"Épisode 1.mkv","kind":"video","kind_id":0,"size":1,"mtime_ms":1700000000000,"id":"1610781482","legacy_id":"1855307121"},{"name":"日本語 2.mkv","kind":"video","kind_id":0,"size":2,"mtime_ms":-1,"id":"732188214","legacy_id":"1828866609"}]}'

# 5. A folder that is not there: the message names it in UTF-8.
run browse 'T:\Série Ø'
if [ "$status" -ne 1 ] || [ "$(cat "$work/err")" != 'tarvek: T:\Série Ø: cannot list the folder: No such file or directory' ]; then
    fail "a missing folder: status $status, message: $(cat "$work/err")"
fi

# 6. A console: under a pseudo-terminal wine gives the program one, and the names written to it as
# UTF-16 come out on the terminal as the same characters. (Wine's console shows characters outside the
# Basic Multilingual Plane as replacement characters, so the emoji is not looked for.)
printf -v command '%q ' "${wine[@]}" "$exe" browse 'T:\Série Ünïcode'
timeout 120 script -qec "$command" /dev/null >"$work/console" 2>&1 || fail "the console run failed: $(cat "$work/console")"
for name in 'T:\Série Ünïcode' 'Épisode 1.mkv' '日本語 2.mkv'; do
    grep -qF "$name" "$work/console" || fail "the console does not show $name: $(cat -v "$work/console")"
done

[ "$failures" -eq 0 ] || exit 1
echo "windows host: passed"
