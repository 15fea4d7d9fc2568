#!/usr/bin/env bash
# Takes the README's screenshots of vantorscope under a virtual X display:
# the main window after Check All on the bundled sample set, and the entry
# editor in its grid and hex views. Anyone can rerun it; it installs what is
# missing (Xvfb included) and builds what it needs.
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

plugins=("Data Files/Sample Armory.esp" "Data Files/Sample Quests.esp" "Data Files/Sample Tweaks.esp")
shot main-window.png --check "${plugins[@]}" || exit 1
# The entry editor on a conflicting NPC, in its grid and its hex view.
shot entry-editor-grid.png --check --open-entry sample_trader "${plugins[@]}" || exit 1
shot entry-editor-hex.png --check --open-entry sample_trader --hex-view "${plugins[@]}" || exit 1
echo "vantor: screenshots written to docs/"
