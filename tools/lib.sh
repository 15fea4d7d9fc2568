# Shared by ./run, ./test and tools/fuzz: installing what is missing and
# building. Source it from the repository root.

VANTOR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VANTOR_JOBS="${VANTOR_JOBS:-2}"
VANTOR_PACKAGES=(build-essential cmake qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev clang)
# What ./test needs beyond that for its Windows and package stages: the
# MinGW-w64 cross compiler, GoogleTest's sources to build for it, Wine to run
# the result, and the checkers of the desktop files and manual pages.
VANTOR_SHIP_PACKAGES=(g++-mingw-w64-x86-64-posix googletest wine64 appstream desktop-file-utils groff-base)

vantor_say() { printf '\n== %s\n' "$*"; }

# vantor_timed NAME COMMAND...: runs it and says how long it took.
vantor_timed() {
    local name="$1" start=$SECONDS status
    shift
    "$@"
    status=$?
    vantor_say "$name: $((SECONDS - start)) s"
    return $status
}

# Runs a command as root: directly, or through sudo when that is there.
vantor_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "vantor: need root (or sudo) to run: $*" >&2
        return 1
    fi
}

vantor_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || printf '%s\n' "$p"
    done
}

VANTOR_APT_UPDATED=0
vantor_apt_install() {
    [ "$#" -gt 0 ] || return 0
    vantor_say "Installing: $*"
    if [ "$VANTOR_APT_UPDATED" -eq 0 ]; then
        vantor_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
        VANTOR_APT_UPDATED=1
    fi
    vantor_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

# clang links libFuzzer and the sanitizers only with its runtime package,
# whose name carries clang's major version.
vantor_clang_links_fuzzer() {
    local dir
    dir="$(mktemp -d)" || return 1
    printf '%s\n' '#include <cstdint>' '#include <cstddef>' \
        'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$dir/probe.cpp"
    clang++ -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1
    local status=$?
    rm -rf "$dir"
    return $status
}

# vantor_install_missing [more packages...]
vantor_install_missing() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "vantor: not a Debian system; install by hand: ${VANTOR_PACKAGES[*]} $*" >&2
        return 0
    fi
    local missing
    mapfile -t missing < <(vantor_missing_packages "${VANTOR_PACKAGES[@]}" "$@")
    vantor_apt_install "${missing[@]}" || return 1
    if ! vantor_clang_links_fuzzer; then
        local major
        major="$(clang++ -dumpversion | cut -d. -f1)"
        vantor_apt_install "libclang-rt-${major}-dev" || return 1
    fi
}

# Wine's 64-bit loader: Debian's wine64 package keeps it out of PATH unless
# the wine package is there too.
vantor_wine() {
    local w
    for w in "$(command -v wine64)" /usr/lib/wine/wine64 "$(command -v wine)"; do
        [ -n "$w" ] && [ -x "$w" ] && { printf '%s\n' "$w"; return 0; }
    done
    echo "vantor: Wine is not installed (wine64)" >&2
    return 1
}

# vantor_build DIR [cmake options...] [-- targets...]
vantor_build() {
    local dir="$1"
    shift
    local options=() targets=()
    while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
        options+=("$1")
        shift
    done
    [ "$#" -gt 0 ] && shift
    targets=("$@")
    vantor_say "Building $dir"
    cmake -S "$VANTOR_ROOT" -B "$VANTOR_ROOT/$dir" "${options[@]}" || return 1
    if [ "${#targets[@]}" -gt 0 ]; then
        cmake --build "$VANTOR_ROOT/$dir" -j "$VANTOR_JOBS" --target "${targets[@]}"
    else
        cmake --build "$VANTOR_ROOT/$dir" -j "$VANTOR_JOBS"
    fi
}

# Git does not keep modification times, and the game orders plugins by them:
# give the bundled sample files their fixed times again (the generator knows
# them), and warn when the committed files differ from what it writes.
vantor_sample_times() {
    local generator="$VANTOR_ROOT/$1/tools/vantor-mkdata" work f status=0
    work="$(mktemp -d)" || return 1
    if "$generator" sample "$work" >/dev/null; then
        while IFS= read -r -d '' f; do
            local committed="$VANTOR_ROOT/examples/${f#"$work"/}"
            if ! cmp -s "$f" "$committed"; then
                echo "vantor: examples/ differs from the generator's output; regenerate with: $1/tools/vantor-mkdata sample examples" >&2
                status=1
            fi
            [ -e "$committed" ] && touch -r "$f" "$committed"
        done < <(find "$work" -type f -print0)
    else
        status=1
    fi
    rm -rf "$work"
    return $status
}
