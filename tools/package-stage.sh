#!/usr/bin/env bash
# ./test's package stage, on a Release build that ./test has made already:
# installs it into a scratch root and checks what a desktop and a packager
# look for; makes the .deb with CPack, checks its dependencies and contents,
# unpacks it into a scratch root and runs the installed vantor on the sample
# set; tries vantor's bash completion as bash calls it.
#   tools/package-stage.sh [BUILD_DIR]   (default build)
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

build="$VANTOR_ROOT/${1:-build}"
work="$(mktemp -d)" || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "vantor: package: $*" >&2
    failed=1
}
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
id=org.vantorscope.Vantorscope

vantor_say "cmake --install into a scratch root"
root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install failed"
expected=(
    usr/bin/vantor usr/bin/vantorscope
    usr/share/man/man1/vantor.1.gz usr/share/man/man1/vantorscope.1.gz
    "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
    usr/share/mime/packages/vantorscope.xml usr/share/bash-completion/completions/vantor
)
for size in 16 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x$size/apps/vantorscope.png"); done
for f in "${expected[@]}"; do [ -s "$root/$f" ] || fail "cmake --install did not install $f"; done
installed="$(cd "$root" && find . -type f | sed 's|^\./||' | sort)"
[ "$installed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
    fail "cmake --install installs other files than these:"$'\n'"$(diff <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$installed"))"
for size in 16 256; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/vantorscope.png"
    # PNG width and height, big-endian at bytes 16 and 20.
    [ "$(od -An -tx1 -j16 -N8 "$png" 2>/dev/null | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
        fail "$png is not $size by $size pixels"
done
appstreamcli validate --no-net --strict "$root/usr/share/metainfo/$id.metainfo.xml" >&2 || fail "the metainfo file is not valid"
desktop-file-validate "$root/usr/share/applications/$id.desktop" >&2 || fail "the desktop file is not valid"
grep -q '^MimeType=application/x-tes3-plugin;application/x-tes3-master;$' "$root/usr/share/applications/$id.desktop" ||
    fail "the desktop file does not open plugins and masters"
for page in vantor vantorscope; do
    warnings="$(zcat "$root/usr/share/man/man1/$page.1.gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "the manual page of $page: $warnings"
done

vantor_say "Debian package"
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$work"/deb/*.deb 2>/dev/null | head -n 1)"
if [ -z "$deb" ]; then
    fail "cpack made no .deb"
else
    depends="$(dpkg-deb -f "$deb" Depends)"
    for p in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libstdc++6 libc6; do
        tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//' | grep -qx -- "$p" || fail "the package does not depend on $p: $depends"
    done
    [ "$(dpkg-deb -f "$deb" Package)" = vantorscope ] && [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
        fail "the package is not vantorscope $version"
    contents="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)"
    [ "$contents" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
        fail "the package holds other files than cmake --install:"$'\n'"$(diff <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$contents"))"
    unpacked="$work/unpacked"
    dpkg-deb -x "$deb" "$unpacked" || fail "dpkg-deb cannot unpack the package"

    vantor_say "The installed programs"
    [ "$("$unpacked/usr/bin/vantor" --version)" = "vantor $version" ] || fail "installed vantor --version is not \"vantor $version\""
    QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/vantorscope" --version | grep -qx "Vantorscope $version" ||
        fail "installed vantorscope --version does not say $version"
    "$build/tools/vantor-mkdata" sample "$work/sample" >/dev/null || fail "no sample set"
    out="$(cd "$work/sample" && "$unpacked/usr/bin/vantor" check --all --quiet --format csv --install-dir . \
        "Data Files/Sample Armory.esp" "Data Files/Sample Quests.esp" "Data Files/Sample Tweaks.esp" </dev/null)"
    status=$?
    [ $status -eq 0 ] || fail "installed vantor check ended with $status"
    [[ $out == *"sample_iron_sword,Sample Tweaks.esp,Sample Armory.esp,Sample.esm"* ]] ||
        fail "installed vantor check did not report the sword's conflict:"$'\n'"$out"
fi

vantor_say "bash completion"
mkdir -p "$work/complete/Data Files" && touch "$work/complete/Data Files/"{"A Mod.esp","B Master.ESM",notes.txt}
completion() {
    # bash as it completes the words given, the last one being completed.
    (cd "$work/complete" && PATH="$root/usr/bin:$PATH" bash --norc -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _vantor; printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$root/usr/share/bash-completion/completions/vantor" "$@")
}
expect() {
    local want="$1" got
    shift
    got="$(completion "$@")"
    [ "$got" = "$want" ] || fail "completing \"$*\" gave \"$got\", not \"$want\""
}
expect $'check\nclean\nclean-cells\nconflicts' vantor c
expect $'--help\n--hex' vantor show --h
expect $'--format' vantor check --form
expect $'csv\njson\nlog\ntext' vantor check --format ""
expect $'Data Files/A Mod.esp\nData Files/B Master.ESM' vantor check --quiet "Data Files/"
expect $'Data Files' vantor relink --output Dat
exit $failed
