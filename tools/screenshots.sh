#!/usr/bin/env bash
# Takes the README's screenshots of vantorscope under a virtual X display:
# the main window after Check All on the bundled sample set. Anyone can rerun
# it; it installs what is missing (Xvfb included) and builds what it needs.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

vantor_install_missing || exit 1
mapfile -t missing < <(vantor_missing_packages xvfb xauth fonts-dejavu-core)
vantor_apt_install "${missing[@]}" || exit 1
build="${VANTOR_BUILD_DIR:-build}"
vantor_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_GUI=ON -- vantorscope vantor-mkdata || exit 1

work="$(mktemp -d)" || exit 1
trap 'rm -rf "$work"' EXIT
# A fresh copy of the sample set with its file times, so nothing the program
# writes (settings, backups) lands in examples/.
"$VANTOR_ROOT/$build/tools/vantor-mkdata" sample "$work" >/dev/null || exit 1
mkdir -p "$VANTOR_ROOT/docs"

shot() {
    local name="$1"
    shift
    vantor_say "Screenshot docs/$name"
    (cd "$work" && xvfb-run -a -s "-screen 0 1280x800x24" \
        "$VANTOR_ROOT/$build/src/ui/vantorscope" --install-dir "$work" --settings "$work/vantor.ini" \
        --screenshot "$VANTOR_ROOT/docs/$name" "$@")
}

shot main-window.png --check \
    "Data Files/Sample Armory.esp" "Data Files/Sample Quests.esp" "Data Files/Sample Tweaks.esp" || exit 1
echo "vantor: screenshots written to docs/"
