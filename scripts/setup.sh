#!/usr/bin/env bash
# Installs what building and testing tarvek needs, and nothing when it is all there.
#
#   setup.sh [--fuzz] [--abi] [--valgrind] [--bench-cli] [--platform NAME]...
#
# Debian 12 ships the compiler, CMake, pkg-config, GoogleTest, Google Benchmark, CLI11 and man-db.
# yyjson 0.12 is packaged only in Debian's unstable suite (libyyjson0 and libyyjson-dev, which depend on
# libc6 alone), so those two packages are downloaded through a throw-away apt configuration that points
# at the unstable suite of the mirror this machine already uses, and installed with dpkg. A machine whose
# distribution ships yyjson 0.12 or newer (found through pkg-config) is left as it is.
#
# --fuzz        clang, the compiler runtime with libFuzzer and the sanitizer runtimes
#               (libclang-rt-dev), and llvm for the llvm-symbolizer that turns sanitizer reports into
#               source lines: what scripts/fuzz.sh needs.
# --abi         abigail-tools, for the ABI check of scripts/abi.sh.
# --valgrind    valgrind, for scripts/valgrind.sh.
# --bench-cli   GNU time, for scripts/bench-cli.sh.
# --platform N  what scripts/test-platforms.sh needs for platform N: clang; the cross compiler and
#               qemu-user for i386, armhf, arm64 and s390x, with that architecture's yyjson 0.12
#               unpacked into build-platforms/N/root (never installed over the machine's own); for
#               windows the mingw-w64 cross compilers (posix threads), wine64 to run what they build,
#               and the sources of Debian's utf8proc package (the host's Unicode tables, which no
#               Windows package ships), fetched from a deb-src line for this machine's own mirror
#               and suite and unpacked into build-platforms/windows/ for test-platforms.sh to
#               cross-build. yyjson for Windows is built from its release sources, which
#               test-platforms.sh is given.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz=0
abi=0
valgrind=0
bench_cli=0
platforms=()
while [ $# -gt 0 ]; do
    case "$1" in
        --fuzz) fuzz=1 ;;
        --abi) abi=1 ;;
        --valgrind) valgrind=1 ;;
        --bench-cli) bench_cli=1 ;;
        --platform)
            [ $# -ge 2 ] || { echo "setup: --platform needs a name" >&2; exit 2; }
            platforms+=("$2")
            shift
            ;;
        *)
            echo "usage: $0 [--fuzz] [--abi] [--valgrind] [--bench-cli] [--platform NAME]..." >&2
            exit 2
            ;;
    esac
    shift
done

# Each cross platform is named by its Debian architecture; its compiler's target triplet.
declare -A TRIPLET=([i386]=i686-linux-gnu [armhf]=arm-linux-gnueabihf [arm64]=aarch64-linux-gnu
    [s390x]=s390x-linux-gnu)

# The host layer segments and measures names with utf8proc. man-db renders the manual page and tmux
# runs the host in panes of fixed widths, both for the host's tests; mpv and libmpv-dev build the mpv
# plugin and run its tests (mpv's own encoder makes their media).
packages=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev libcli11-dev libutf8proc-dev man-db tmux mpv
    libmpv-dev)
[ "$fuzz" -eq 0 ] || packages+=(clang libclang-rt-dev llvm)
[ "$abi" -eq 0 ] || packages+=(abigail-tools)
[ "$valgrind" -eq 0 ] || packages+=(valgrind)
[ "$bench_cli" -eq 0 ] || packages+=(time)
cross=()
windows=0
for platform in "${platforms[@]}"; do
    case "$platform" in
        clang) packages+=(clang) ;;
        i386 | armhf | arm64 | s390x)
            packages+=("g++-${TRIPLET[$platform]}" qemu-user)
            cross+=("$platform")
            ;;
        windows)
            packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 dpkg-dev)
            windows=1
            ;;
        *)
            echo "setup: unknown platform $platform (known: clang i386 armhf arm64 s390x windows)" >&2
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

missing=()
for pkg in "${packages[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    "${SUDO[@]}" apt-get update -qq
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >/dev/null
fi

# Whether the yyjson header in $1 is version 0.12 or newer.
yyjson_header_ok() {
    [ -r "$1" ] || return 1
    local hex
    hex=$(sed -n 's/^#define YYJSON_VERSION_HEX *0x\([0-9A-Fa-f]*\).*/\1/p' "$1")
    [ -n "$hex" ] && [ $((16#$hex)) -ge $((16#000C00)) ]
}

native_yyjson=1
pkg-config --atleast-version=0.12 yyjson 2>/dev/null && native_yyjson=0
roots=()
for platform in "${cross[@]}"; do
    yyjson_header_ok "build-platforms/$platform/root/usr/include/yyjson.h" || roots+=("$platform")
done
utf8proc_source=0
if [ "$windows" -eq 1 ] && ! ls build-platforms/windows/utf8proc-*/CMakeLists.txt >/dev/null 2>&1; then
    utf8proc_source=1
fi
if [ "$native_yyjson" -eq 0 ] && [ ${#roots[@]} -eq 0 ] && [ "$utf8proc_source" -eq 0 ]; then
    exit 0
fi

# The first plain Debian archive among this machine's apt sources (not its security or updates
# suites), with its suite and the keyring it is signed with. Both one-line and deb822 source files are read.
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
                 if (suite !~ /-/ && uri !~ /security/) { print uri, suite, key; exit }
             }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -r "$f" ] || continue
        awk 'function flush() {
                 if (types ~ /(^| )deb( |$)/ && uri != "" && uri !~ /security/) {
                     n = split(suites, s, " ")
                     for (j = 1; j <= n; j++) if (s[j] !~ /-/) { print uri, s[j], key; exit }
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

read -r mirror suite keyring < <(find_mirror | head -n 1) || true
if [ -z "${mirror:-}" ]; then
    echo "setup: a package from Debian's mirror is needed and no mirror was found in the apt sources" >&2
    exit 1
fi
[ -n "${keyring:-}" ] || keyring=/usr/share/keyrings/debian-archive-keyring.gpg

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Downloads libyyjson0 and libyyjson-dev of Debian architecture $1 from the unstable suite into $2,
# through an apt configuration of its own that leaves the machine's apt state alone.
fetch_yyjson() {
    local arch=$1 dest=$2 state="$work/apt-$1"
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/parts" "$dest"
    echo "deb [arch=$arch signed-by=$keyring] $mirror unstable main" >"$state/sources.list"
    local apt_opts=(
        -o "Dir::Etc::SourceList=$state/sources.list"
        -o "Dir::Etc::SourceParts=$state/parts"
        -o "Dir::State::Lists=$state/lists"
        -o "Dir::Cache=$state/cache"
        -o "APT::Architectures::=$arch"
        -o "APT::Sandbox::User=root"
    )
    echo "setup: fetching yyjson 0.12 ($arch) from the unstable suite of $mirror"
    "${SUDO[@]}" apt-get "${apt_opts[@]}" update -qq
    (cd "$dest" && "${SUDO[@]}" apt-get "${apt_opts[@]}" download -qq "libyyjson0:$arch" "libyyjson-dev:$arch")
}

if [ "$native_yyjson" -ne 0 ]; then
    fetch_yyjson "$(dpkg --print-architecture)" "$work/debs"
    "${SUDO[@]}" dpkg -i "$work"/debs/*.deb >/dev/null
    pkg-config --atleast-version=0.12 yyjson || { echo "setup: yyjson 0.12 did not install" >&2; exit 1; }
    echo "setup: yyjson $(pkg-config --modversion yyjson) installed"
fi

# A cross platform's yyjson goes into a folder that serves as the target's root: its headers, its
# libraries and its CMake package, unpacked and never installed.
for platform in "${roots[@]}"; do
    root="build-platforms/$platform/root"
    fetch_yyjson "$platform" "$work/debs-$platform"
    rm -rf "$root"
    mkdir -p "$root"
    for deb in "$work/debs-$platform"/*.deb; do dpkg-deb -x "$deb" "$root"; done
    yyjson_header_ok "$root/usr/include/yyjson.h" || { echo "setup: yyjson for $platform did not unpack" >&2; exit 1; }
    echo "setup: yyjson 0.12 for $platform unpacked into $root"
done

# utf8proc's sources for the Windows build: Debian's source package of this machine's suite, through a
# throw-away apt configuration with a deb-src line, unpacked (Debian's patches applied) by dpkg-source.
if [ "$utf8proc_source" -eq 1 ]; then
    state="$work/apt-src"
    mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/parts" "$work/src"
    echo "deb-src [signed-by=$keyring] $mirror $suite main" >"$state/sources.list"
    apt_opts=(
        -o "Dir::Etc::SourceList=$state/sources.list"
        -o "Dir::Etc::SourceParts=$state/parts"
        -o "Dir::State::Lists=$state/lists"
        -o "Dir::Cache=$state/cache"
        -o "APT::Sandbox::User=root"
    )
    echo "setup: fetching utf8proc's source package from the $suite suite of $mirror"
    "${SUDO[@]}" apt-get "${apt_opts[@]}" update -qq
    (cd "$work/src" && "${SUDO[@]}" apt-get "${apt_opts[@]}" source -qq utf8proc >/dev/null)
    "${SUDO[@]}" chown -R "$(id -u):$(id -g)" "$work/src"
    source_dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'utf8proc-*' | head -n 1)
    [ -n "$source_dir" ] && [ -f "$source_dir/CMakeLists.txt" ] ||
        { echo "setup: utf8proc's source package did not unpack" >&2; exit 1; }
    mkdir -p build-platforms/windows
    rm -rf "build-platforms/windows/$(basename "$source_dir")"
    mv "$source_dir" build-platforms/windows/
    echo "setup: utf8proc's sources unpacked into build-platforms/windows/$(basename "$source_dir")"
fi
