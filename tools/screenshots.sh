#!/usr/bin/env bash
# Takes the README's screenshots of vantorscope as a user sees it: under a
# virtual X display with a real window manager (openbox), so each picture
# shows the window whole with its title bar. Pictures: the main window after
# Check All on the bundled sample set, the Find dialog, the Dialog Repair
# Tool, the Game page of the Options, a print preview of the conflict list,
# the questions of a Delete and of Clean Cells, the Changes Made list after
# the cleans, and the entry editor in its grid and hex views. The dialogs,
# questions and changes are taken again at 150% on a 1366x768 screen and at
# 200% into the build folder, to look at, not to commit. Anyone can rerun
# it; it installs what is missing and builds what it needs.
set -uo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh

vantor_install_missing || exit 1
mapfile -t missing < <(vantor_missing_packages xvfb xauth openbox fonts-dejavu-core)
vantor_apt_install "${missing[@]}" || exit 1
build="${VANTOR_BUILD_DIR:-build}"
vantor_build "$build" -DCMAKE_BUILD_TYPE=Release -DVANTOR_GUI=ON -- vantorscope vantor-mkdata || exit 1

work="$(mktemp -d)" || exit 1
trap 'rm -rf "$work"' EXIT
# A fresh copy of the sample set with its file times, so nothing the program
# writes (settings, backups) lands in examples/.
fresh_copy() {
    rm -rf "${work:?}"/* && "$VANTOR_ROOT/$build/tools/vantor-mkdata" sample "$work" >/dev/null
}
fresh_copy || exit 1
mkdir -p "$VANTOR_ROOT/docs" "$VANTOR_ROOT/$build/screenshots"

# shot PNG [vantorscope options...]: one picture on a display of its own,
# with the window manager started before the program. Each run starts with
# no saved window placement, so the main window opens maximized.
shot() {
    local target="$1"
    shift
    vantor_say "Screenshot ${target#"$VANTOR_ROOT/"}"
    rm -f "$work/vantor.ini"
    (cd "$work" && xvfb-run -a -s "-screen 0 ${VANTOR_SCREEN:-1280x800}x24" sh -c '
        openbox >/dev/null 2>&1 &
        sleep 1
        exec "$@"' vantorscope \
        "$VANTOR_ROOT/$build/src/ui/vantorscope" --install-dir "$work" --settings "$work/vantor.ini" \
        --screenshot "$target" "$@")
}

plugins=("Data Files/Sample Armory.esp" "Data Files/Sample Quests.esp" "Data Files/Sample Tweaks.esp")
docs="$VANTOR_ROOT/docs"
shot "$docs/main-window.png" --check "${plugins[@]}" || exit 1
shot "$docs/find-dialog.png" --check --show-dialog find "${plugins[@]}" || exit 1
shot "$docs/dialog-repair-tool.png" --show-dialog repair || exit 1
shot "$docs/options-game.png" --show-dialog options-game || exit 1
shot "$docs/print-preview.png" --check --show-dialog preview "${plugins[@]}" || exit 1
# The questions of a Delete and of Clean Cells over the checked lists
# (closed unanswered, so nothing is changed), and the list of what Auto
# Delete Unclean and Clean Cells changed: that cleans the copy in $work,
# which is made afresh after it.
shot "$docs/question-delete.png" --check --show-dialog delete-question "${plugins[@]}" || exit 1
shot "$docs/question-clean-cells.png" --check --show-dialog clean-question "${plugins[@]}" || exit 1
shot "$docs/changes-made.png" --check --show-dialog changes "${plugins[@]}" || exit 1
fresh_copy || exit 1
# The entry editor on a conflicting NPC, in its grid and its hex view.
shot "$docs/entry-editor-grid.png" --check --open-entry sample_trader "${plugins[@]}" || exit 1
shot "$docs/entry-editor-hex.png" --check --open-entry sample_trader --hex-view "${plugins[@]}" || exit 1
# 150% as a laptop of 1366x768 shows it: nothing may be cut off there.
for scale in 1.5 2; do
    screen=1280x800
    [ "$scale" = 1.5 ] && screen=1366x768
    for dialog in find repair options-game preview delete-question clean-question changes; do
        VANTOR_SCREEN=$screen QT_SCALE_FACTOR=$scale shot "$VANTOR_ROOT/$build/screenshots/$dialog-$scale.png" \
            --check --show-dialog "$dialog" "${plugins[@]}" || exit 1
        if [ "$dialog" = changes ]; then fresh_copy || exit 1; fi
    done
done
echo "vantor: screenshots written to docs/ (scaled dialogs in $build/screenshots/)"
