#!/usr/bin/env bash
# Installs what building and testing tarvek needs, and nothing when it is all there.
#
# Debian 12 ships the compiler, CMake, pkg-config, GoogleTest and Google Benchmark. yyjson 0.12 is
# packaged only in Debian's unstable suite (libyyjson0 and libyyjson-dev, which depend on libc6 alone),
# so those two packages are downloaded through a throw-away apt configuration that points at the
# unstable suite of the mirror this machine already uses, and installed with dpkg. A machine whose
# distribution ships yyjson 0.12 or newer (found through pkg-config) is left as it is.
#
# With --fuzz it also installs what scripts/fuzz.sh needs: clang, the compiler runtime with libFuzzer
# and the sanitizer runtimes (libclang-rt-dev), and llvm for the llvm-symbolizer that turns sanitizer
# reports into source lines.
set -euo pipefail

fuzz=0
for arg in "$@"; do
    case "$arg" in
        --fuzz) fuzz=1 ;;
        *)
            echo "usage: $0 [--fuzz]" >&2
            exit 2
            ;;
    esac
done

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
    SUDO=(sudo)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev)
[ "$fuzz" -eq 0 ] || packages+=(clang libclang-rt-dev llvm)
# Every package is installed here, before the yyjson step below, which may end the script early.
missing=()
for pkg in "${packages[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    "${SUDO[@]}" apt-get update -qq
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if pkg-config --atleast-version=0.12 yyjson 2>/dev/null; then
    exit 0
fi

# The first plain Debian archive among this machine's apt sources (not its security or updates
# suites), with the keyring it is signed with. Both one-line and deb822 source files are read.
find_mirror() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -r "$f" ] || continue
        awk '$1 == "deb" {
                 key = ""; i = 2
                 if ($2 ~ /^\[/) {
                     for (; i <= NF; i++) {
                         if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                         if ($i ~ /\]$/) { i++; break }
                     }
                 }
                 uri = $i; suite = $(i + 1)
                 if (suite !~ /-/ && uri !~ /security/) { print uri, key; exit }
             }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -r "$f" ] || continue
        awk 'function flush() {
                 if (types ~ /(^| )deb( |$)/ && uri != "" && uri !~ /security/) {
                     n = split(suites, s, " ")
                     for (j = 1; j <= n; j++) if (s[j] !~ /-/) { print uri, key; exit }
                 }
                 types = ""; uri = ""; suites = ""; key = ""
             }
             /^[ \t]*$/ { flush(); next }
             /^#/ { next }
             tolower($1) == "types:" { $1 = ""; types = $0 }
             tolower($1) == "uris:" { uri = $2 }
             tolower($1) == "suites:" { $1 = ""; suites = $0 }
             tolower($1) == "signed-by:" { key = $2 }
             END { flush() }' "$f"
    done
}

read -r mirror keyring < <(find_mirror | head -n 1) || true
if [ -z "${mirror:-}" ]; then
    echo "setup: yyjson 0.12 is not installed and no Debian mirror was found in the apt sources" >&2
    exit 1
fi
[ -n "${keyring:-}" ] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/debs"
echo "deb [signed-by=$keyring] $mirror unstable main" >"$work/sources.list"
apt_opts=(
    -o "Dir::Etc::SourceList=$work/sources.list"
    -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists"
    -o "Dir::Cache=$work/cache"
    -o "APT::Sandbox::User=root"
)
echo "setup: fetching yyjson 0.12 from the unstable suite of $mirror"
"${SUDO[@]}" apt-get "${apt_opts[@]}" update -qq
(cd "$work/debs" && "${SUDO[@]}" apt-get "${apt_opts[@]}" download -qq libyyjson0 libyyjson-dev)
"${SUDO[@]}" dpkg -i "$work"/debs/*.deb >/dev/null
pkg-config --atleast-version=0.12 yyjson || { echo "setup: yyjson 0.12 did not install" >&2; exit 1; }
echo "setup: yyjson $(pkg-config --modversion yyjson) installed"
