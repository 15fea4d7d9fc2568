#!/usr/bin/env bash
# Kills the commands that change files (clean, clean-cells, delete and relink)
# at random moments on a large generated plugin, and checks after every kill
# that nothing was lost: each file the command changes holds its old or its
# new complete bytes, or is missing while its .OLD backup holds the old. Then
# the command runs again to its end, as a user would run it after the kill,
# and must leave no working file of either run behind: not beside the
# plugin, not beside the repair plugin, not beside the settings.
# Usage: tools/crash-clean-test.sh [ROUNDS] [BUILD_DIR]   (on demand; not part of ./test)
#   ROUNDS kills per command (default 20).
set -uo pipefail
rounds=${1:-20}
build=${2:-build}
cd "$(dirname "$0")/.."
vantor="$(pwd)/$build/src/cli/vantor"
mkdata="$(pwd)/$build/tools/vantor-mkdata"
[ -x "$vantor" ] && [ -x "$mkdata" ] || { echo "build $build first (./run builds it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One plugin of 20,000 records of which many copy the master unchanged, with
# cells that copy the master's references.
"$mkdata" bench "$work/set" --plugins 1 --master-mb 20 --min-records 20000 --max-records 20000 \
    --from-masters 0.9 --unchanged 0.5 --quiet >/dev/null || exit 2
data="$work/set/Data Files"
plugin=$(ls "$data" | grep -i '\.esp$' | head -n 1)
settings="$work/settings/vantor.ini"
out="$work/out"
mkdir -p "$work/settings" "$out"
cp -p "$data/$plugin" "$work/plugin.old"
# A repair plugin from an earlier run, which relink replaces after its backup.
"$vantor" relink --yes --quiet --data-dir "$data" --settings "$settings" --output "$out/Repair.esp" \
    "$data/$plugin" >/dev/null 2>&1 || { echo "relink does not run: no test" >&2; exit 2; }
printf 'an earlier run' >>"$out/Repair.esp"
cp -p "$out/Repair.esp" "$work/repair.old"
# An entry of the plugin for delete: the first one listed.
entry=$("$vantor" list --quiet --format csv --data-dir "$data" --settings "$settings" "$data/$plugin" | sed -n 2p)
tag=${entry%%,*}
id=$(echo "$entry" | cut -d, -f3)

# The files a command changes, each "path|bytes before|backup".
targets() {
    case $1 in
        relink) echo "$out/Repair.esp|$work/repair.old|$out/Repair.OLD" ;;
        *) echo "$data/$plugin|$work/plugin.old|$data/${plugin%.*}.OLD" ;;
    esac
}
# The command line of a command, in the array `line`.
command_line() {
    line=("$vantor" "$1" --yes --quiet --data-dir "$data" --settings "$settings")
    case $1 in
        delete) line+=("$data/$plugin" "$tag" "$id") ;;
        relink) line+=(--output "$out/Repair.esp" "$data/$plugin") ;;
        *) line+=("$data/$plugin") ;;
    esac
}
# Puts back every file as it was before a command, and removes the backups.
reset() {
    local path old backup
    while IFS='|' read -r path old backup; do
        rm -f "$path" "$backup"
        cp -p "$old" "$path"
    done < <(targets clean; targets relink)
}
works() { find "$data" "$out" "$work/settings" -maxdepth 1 -name '.vantor-*.tmp' | wc -l; }

failures=0 strays=0
for command in clean clean-cells delete relink; do
    # The complete result of an uninterrupted run, and how long it takes:
    # the kills fall anywhere in that time.
    command_line "$command"
    reset
    start=$(date +%s%N)
    "${line[@]}" >/dev/null 2>&1
    span=$((($(date +%s%N) - start) / 1000000 + 1))
    IFS='|' read -r path old backup <<<"$(targets "$command")"
    new="$work/$command.new"
    cp -p "$path" "$new"
    cmp -s "$old" "$new" && { echo "$command changed nothing: no test" >&2; exit 2; }

    olds=0 news=0 moved=0 leaving=0 bad=0
    for ((i = 1; i <= rounds; i++)); do
        reset
        "${line[@]}" >/dev/null 2>&1 &
        pid=$!
        ms=$(((RANDOM * 32768 + RANDOM) % span))
        sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        [ "$(works)" -gt 0 ] && leaving=$((leaving + 1))
        state=bad
        if [ -f "$path" ]; then
            cmp -s "$path" "$old" && { state=ok; olds=$((olds + 1)); }
            cmp -s "$path" "$new" && { state=ok; news=$((news + 1)); }
        elif [ -f "$backup" ] && cmp -s "$backup" "$old"; then
            state=ok moved=$((moved + 1))
        fi
        if [ "$state" = bad ]; then
            bad=$((bad + 1))
            echo "$command, round $i: $path is neither the old nor the new file, and no backup holds the old one" >&2
        fi
        # The next run, to its end, on the files as they were: it removes
        # what the killed run left, wherever that was.
        reset
        "${line[@]}" >/dev/null 2>&1
        left=$(works)
        if [ "$left" -gt 0 ]; then
            strays=$((strays + 1))
            echo "$command, round $i: $left working files are left after the next run" >&2
            find "$data" "$out" "$work/settings" -maxdepth 1 -name '.vantor-*.tmp' -delete
        fi
    done
    failures=$((failures + bad))
    echo "$command: $rounds kills: $olds left the old file, $news the new one, $moved only the backup; $bad lost data;" \
         "$leaving left a working file, which the next run removed"
done
[ "$failures" -eq 0 ] && [ "$strays" -eq 0 ]
