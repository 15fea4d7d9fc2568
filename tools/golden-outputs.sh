#!/usr/bin/env bash
# Records what every command of the command line prints and writes, and what
# the window's Save Results writes, on the bundled sample set and on the
# corpus of real plugins, so that a change meant to keep behaviour can be
# compared byte for byte with the code before it:
#
#   tools/golden-outputs.sh BUILD_DIR OUT_DIR        # record
#   diff -r OUT_BEFORE OUT_AFTER                     # compare
#
# Each command's standard output, standard error and exit status are kept as
# OUT_DIR/<set>/<name>.{out,err,status}; the commands that change files run on
# copies, and the files they leave are kept as checksums. The work happens in
# one fixed folder (VANTOR_GOLDEN_WORK, default /tmp/vantor-golden-work) so
# that paths printed in messages are the same on every run.
set -uo pipefail

if [ "$#" -ne 2 ]; then
    echo "usage: $0 BUILD_DIR OUT_DIR" >&2
    exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)" || exit 2
out="$2"
vantor="$build/src/cli/vantor"
mkdata="$build/tools/vantor-mkdata"
work="${VANTOR_GOLDEN_WORK:-/tmp/vantor-golden-work}"
corpus="$root/../shared/corpus"
for tool in "$vantor" "$mkdata"; do
    [ -x "$tool" ] || { echo "golden: $tool is missing; build it first" >&2; exit 2; }
done

rm -rf "$work" "$out"
mkdir -p "$work" "$out"
out="$(cd "$out" && pwd)"
export LC_ALL=C

# The sample set with its fixed file times.
"$mkdata" sample "$work/sample" >/dev/null || exit 1

# The corpus's plugins and masters in one data folder, with times increasing
# in name order (masters first), so "newer" is the same on every run.
if [ -d "$corpus" ]; then
    mkdir -p "$work/corpus/Data Files"
    stamp=1020000000
    while IFS= read -r file; do
        name="$(basename "$file")"
        cp "$file" "$work/corpus/Data Files/$name"
        touch -d "@$stamp" "$work/corpus/Data Files/$name"
        stamp=$((stamp + 86400))
    done < <(find "$corpus" -type f \( -iname '*.esm' \) | sort; find "$corpus" -type f \( -iname '*.esp' \) | sort)
    printf '[Game Files]\r\n' >"$work/corpus/Morrowind.ini"
fi

pristine="$work/pristine"
mkdir -p "$pristine"
for set in sample corpus; do
    [ -d "$work/$set" ] && cp -a "$work/$set" "$pristine/$set"
done

# run SET NAME COMMAND...: one command, with a fresh settings file, in the set.
run() {
    local set="$1" name="$2"
    shift 2
    rm -f "$work/vantor.ini"
    (cd "$work/$set" && "$@" >"$out/$set/$name.out" 2>"$out/$set/$name.err" </dev/null)
    echo $? >"$out/$set/$name.status"
}

# Checksums and sizes of every file of a folder, by name.
checksums() {
    (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# A fresh copy of a set to change files in.
fresh() {
    rm -rf "$work/$1"
    cp -a "$pristine/$1" "$work/$1"
}

record_set() {
    local set="$1"
    local data="$work/$set/Data Files"
    mkdir -p "$out/$set"
    local common=(--install-dir "$work/$set" --settings "$work/vantor.ini" --quiet)
    local plugins=()
    mapfile -t plugins < <(cd "$data" && ls | grep -i '\.esp$')
    local masters=()
    mapfile -t masters < <(cd "$data" && ls | grep -i '\.esm$')
    local paths=()
    for p in "${plugins[@]}"; do paths+=("$data/$p"); done

    run "$set" info-text "$vantor" info "$data/"*
    run "$set" info-json "$vantor" info --format json "$data/"*
    run "$set" extract "$vantor" extract "${common[@]}" "${paths[@]}"

    local format flags name
    for format in text csv log json; do
        for flags in "" --conflicts --deleted --unclean --all "--deleted --unclean" "--all --no-masters"; do
            name="check${flags// /}-$format"
            # shellcheck disable=SC2086
            run "$set" "$name" "$vantor" check $flags --format "$format" "${common[@]}" "${paths[@]}"
        done
        run "$set" "global-changes-$format" "$vantor" global-changes --format "$format" "${common[@]}" "${paths[@]}"
        run "$set" "global-changes-file-$format" "$vantor" global-changes --file "${plugins[0]}" --format "$format" \
            "${common[@]}" "${paths[@]}"
        run "$set" "list-$format" "$vantor" list --format "$format" "${common[@]}" "${paths[@]}"
        run "$set" "conflicts-$format" "$vantor" conflicts --format "$format" "${common[@]}" "${paths[@]}"
        run "$set" "merge-dry-run-$format" "$vantor" merge --dry-run --format "$format" "${common[@]}" "${paths[@]}"
        run "$set" "list-masters-$format" "$vantor" list --masters --format "$format" "${common[@]}" "${paths[@]}"
    done
    run "$set" single-versus "$vantor" check --all --format csv --single-versus "$data/${plugins[0]}" "${common[@]}" \
        "${paths[@]:1}"
    # The results log --log writes ("-log" alone names --format log's output).
    run "$set" check-log-file "$vantor" check --all --log "$work/log-$set.txt" "${common[@]}" "${paths[@]}"
    cp "$work/log-$set.txt" "$out/$set/check-log-file.txt" 2>/dev/null
    run "$set" global-changes-log-file "$vantor" global-changes --log "$work/glog-$set.txt" "${common[@]}" "${paths[@]}"
    cp "$work/glog-$set.txt" "$out/$set/global-changes-log-file.txt" 2>/dev/null
    for p in "${plugins[@]:0:3}"; do
        run "$set" "list-file-${p// /_}" "$vantor" list --file "$p" --format csv "${common[@]}" "${paths[@]}"
    done
    [ "${#masters[@]}" -gt 0 ] &&
        run "$set" list-master-file "$vantor" list --masters --file "${masters[0]}" --format csv "${common[@]}" "${paths[@]}"

    local texts=(a sample sword "Sample" oaab light "0,0" DELE NPC_ "Iron")
    for text in "${texts[@]}"; do
        local slug="${text//[^A-Za-z0-9]/_}"
        run "$set" "find-$slug" "$vantor" find "$text" --format csv "${common[@]}" "${paths[@]}"
        run "$set" "find-$slug-case" "$vantor" find "$text" --match-case --format csv "${common[@]}" "${paths[@]}"
        run "$set" "find-$slug-word" "$vantor" find "$text" --whole-word --no-data --format csv "${common[@]}" "${paths[@]}"
        run "$set" "find-$slug-masters" "$vantor" find "$text" --masters --format csv "${common[@]}" "${paths[@]}"
    done
    run "$set" find-json "$vantor" find sample --format json "${common[@]}" "${paths[@]}"
    run "$set" find-text "$vantor" find sample --format text "${common[@]}" "${paths[@]}"

    # show: every 40th entry of the plugin listing whose ID holds no comma
    # (read from the log's lines, where every cell is as it is).
    local n=0
    while IFS=, read -r tag desc id file original extra; do
        [ -n "$extra" ] && continue
        n=$((n + 1))
        [ $((n % 40)) -eq 1 ] || continue
        run "$set" "show-$n" "$vantor" show "$data/$file" "$tag" "$id"
        run "$set" "show-$n-hex" "$vantor" show --hex "$data/$file" "$tag" "$id"
        run "$set" "show-$n-json" "$vantor" show --format json "$data/$file" "$tag" "$id"
    done < <(tail -n +2 "$out/$set/list-log.out" | tr -d '\r')

    # clean on a copy: what it says and the files it leaves.
    fresh "$set"
    run "$set" clean "$vantor" clean --yes "${common[@]}" "${paths[@]}"
    checksums "$data" >"$out/$set/clean.files"
    fresh "$set"
    run "$set" clean-no-masters "$vantor" clean --yes --no-masters "${common[@]}" "${paths[@]}"
    checksums "$data" >"$out/$set/clean-no-masters.files"

    # merge on a copy: what it says and the patch it writes.
    fresh "$set"
    run "$set" merge "$vantor" merge --yes -o "$data/Merged Patch.esp" "${common[@]}" "${paths[@]}"
    checksums "$data" >"$out/$set/merge.files"

    # delete on a copy: the first three unclean or deleted rows of Check All.
    fresh "$set"
    local k=0
    while IFS=, read -r tag desc id file original extra; do
        [ -n "$extra" ] && continue
        k=$((k + 1))
        [ "$k" -le 3 ] || break
        run "$set" "delete-$k" "$vantor" delete --yes "${common[@]}" "$data/$file" "$tag" "$id"
    done < <(sed -n '/^ID,Warning/,/^ID,Entry Type/p' "$out/$set/check--all-log.out" | tr -d '\r' | sed '1d;$d')
    run "$set" delete-missing "$vantor" delete --yes "${common[@]}" "$data/${plugins[0]}" MISC no_such_entry
    checksums "$data" >"$out/$set/delete.files"

    # relink on a copy.
    fresh "$set"
    run "$set" relink "$vantor" relink --yes --output "$data/Repair.esp" "${common[@]}" "${paths[@]}"
    checksums "$data" >"$out/$set/relink.files"
    fresh "$set"
}

# What is said when something goes wrong or needs an answer: files that
# cannot be read, outputs that may not be written, questions nobody answers,
# and the backup options; on the sample set.
record_edges() {
    local set=sample
    local data="$work/$set/Data Files"
    local common=(--install-dir "$work/$set" --settings "$work/vantor.ini" --quiet)
    local armory="$data/Sample Armory.esp" tweaks="$data/Sample Tweaks.esp"
    fresh "$set"
    printf 'not a plugin at all' >"$work/junk.esp"
    run "$set" edge-missing-plugin "$vantor" check --all --format csv "${common[@]}" "$data/Missing.esp" "$armory"
    run "$set" edge-not-a-plugin "$vantor" check --all --format csv "${common[@]}" "$work/junk.esp" "$armory"
    run "$set" edge-folder-plugin "$vantor" check --all --format csv "${common[@]}" "$work/$set" "$armory"
    run "$set" edge-nothing-chosen "$vantor" check --all "${common[@]}"
    run "$set" edge-log-in-use "$vantor" check --all --log "$armory" "${common[@]}" "$armory"
    printf 'old log' >"$work/existing-log.txt"
    run "$set" edge-log-exists "$vantor" check --all --log "$work/existing-log.txt" "${common[@]}" "$armory"
    run "$set" edge-single-versus-named "$vantor" check --all --single-versus "$armory" "${common[@]}" "$armory" "$tweaks"
    run "$set" edge-find-nothing "$vantor" find no_such_thing_anywhere "${common[@]}" "$armory"
    run "$set" edge-active "$vantor" active "${common[@]}"
    run "$set" edge-clean-unconfirmed "$vantor" clean "${common[@]}" "$armory" "$tweaks"
    checksums "$data" >"$out/$set/edge-clean-unconfirmed.files"
    local backup
    for backup in accept name neither; do
        fresh "$set"
        printf 'an older backup' >"$data/Sample Armory.OLD"
        case "$backup" in
            accept) run "$set" edge-backup-$backup "$vantor" clean --yes --accept-existing-backup "${common[@]}" "$armory" ;;
            name) run "$set" edge-backup-$backup "$vantor" clean --yes --backup-name "$data/Armory.bak" "${common[@]}" "$armory" "$tweaks" ;;
            neither) run "$set" edge-backup-$backup "$vantor" clean --yes "${common[@]}" "$armory" ;;
        esac
        checksums "$data" >"$out/$set/edge-backup-$backup.files"
    done
    fresh "$set"
    run "$set" edge-clean-cells-dry "$vantor" clean-cells --dry-run "${common[@]}" "$armory" "$tweaks"
    run "$set" edge-clean-cells-unconfirmed "$vantor" clean-cells "${common[@]}" "$armory" "$tweaks"
    run "$set" edge-clean-cells "$vantor" clean-cells --yes "${common[@]}" "$armory" "$tweaks"
    checksums "$data" >"$out/$set/edge-clean-cells.files"
    fresh "$set"
    run "$set" edge-delete-missing-file "$vantor" delete --yes "${common[@]}" "$data/Missing.esp" MISC sample_goblet
    run "$set" edge-delete-unconfirmed "$vantor" delete "${common[@]}" "$armory" MISC sample_goblet
    run "$set" edge-relink-in-use "$vantor" relink --yes --output "$armory" "${common[@]}" "$armory" "$tweaks"
    run "$set" edge-relink-existing "$vantor" relink --output "$data/Sample Quests.esp" "${common[@]}" "$armory" "$tweaks"
    checksums "$data" >"$out/$set/edge-relink.files"
    fresh "$set"
}

record_set sample
record_edges
[ -d "$work/corpus" ] && record_set corpus

# Save Results in the window, through its test (when the window is built).
ui_tests="$build/tests/ui/ui_tests"
if [ -x "$ui_tests" ]; then
    mkdir -p "$out/gui"
    VANTOR_GOLDEN_DIR="$out/gui" QT_QPA_PLATFORM=offscreen "$ui_tests" --gtest_filter='Golden.*' >"$out/gui/ui_tests.log" 2>&1
    echo $? >"$out/gui/ui_tests.status"
    # Timings and addresses vary between runs; the saved logs are what counts.
    rm -f "$out/gui/ui_tests.log"
fi
echo "golden: recorded in $out"
