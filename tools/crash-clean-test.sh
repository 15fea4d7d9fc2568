#!/usr/bin/env bash
# Kills `vantor clean --yes` at random moments on a large generated plugin and
# checks after every kill that nothing was lost: the plugin path holds the old
# or the new complete file, or is missing while the .OLD backup holds the old.
# The working files the killed runs leave are not removed by this script: the
# next complete run must remove them itself.
# Usage: tools/crash-clean-test.sh [ROUNDS] [BUILD_DIR]   (on demand; not part of ./test)
set -uo pipefail
rounds=${1:-50}
build=${2:-build}
cd "$(dirname "$0")/.."
vantor="$build/src/cli/vantor"
mkdata="$build/tools/vantor-mkdata"
[ -x "$vantor" ] && [ -x "$mkdata" ] || { echo "build $build first (./run builds it)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One plugin of 20,000 records of which many copy the master unchanged.
"$mkdata" bench "$work/set" --plugins 1 --master-mb 20 --min-records 20000 --max-records 20000 \
    --from-masters 0.9 --unchanged 0.5 --quiet >/dev/null || exit 2
data="$work/set/Data Files"
plugin=$(ls "$data" | grep -i '\.esp$' | head -n 1)
old="$work/old.esp"
cp -p "$data/$plugin" "$old"
backup="$data/${plugin%???}OLD"

# The complete result of an uninterrupted clean.
"$vantor" clean --yes --quiet --data-dir "$data" --settings "$work/vantor.ini" "$data/$plugin" >/dev/null 2>&1
new="$work/new.esp"
cp -p "$data/$plugin" "$new"
cmp -s "$old" "$new" && { echo "the clean changed nothing: no test" >&2; exit 2; }

failures=0 olds=0 news=0 moved=0 leaving=0
works() { find "$data" -maxdepth 1 -name '.vantor-*.tmp' | wc -l; }
for ((i = 1; i <= rounds; i++)); do
    rm -f "$data/$plugin" "$backup"
    cp -p "$old" "$data/$plugin"
    "$vantor" clean --yes --quiet --data-dir "$data" --settings "$work/vantor.ini" "$data/$plugin" >/dev/null 2>&1 &
    pid=$!
    sleep "0.$(printf '%03d' $((RANDOM % 1000)))"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ "$(find "$data" -maxdepth 1 -name ".vantor-$pid-*.tmp" | wc -l)" -gt 0 ] && leaving=$((leaving + 1))
    if [ -f "$data/$plugin" ]; then
        state=bad
        cmp -s "$data/$plugin" "$old" && { state=ok; olds=$((olds + 1)); }
        cmp -s "$data/$plugin" "$new" && { state=ok; news=$((news + 1)); }
    elif [ -f "$backup" ] && cmp -s "$backup" "$old"; then
        state=ok moved=$((moved + 1))
    else
        state=bad
    fi
    if [ "$state" = bad ]; then
        failures=$((failures + 1))
        echo "round $i: the plugin is neither the old nor the new file, and no backup holds the old one" >&2
    fi
done
left=$(works)
# One run to the end removes what the killed ones left.
rm -f "$data/$plugin" "$backup"
cp -p "$old" "$data/$plugin"
"$vantor" clean --yes --quiet --data-dir "$data" --settings "$work/vantor.ini" "$data/$plugin" >/dev/null 2>&1
stray=$(find "$data" -maxdepth 1 -name '.*.tmp' | wc -l)
echo "$rounds kills: $olds left the old plugin, $news the cleaned one, $moved only the backup; $failures lost data"
echo "$leaving kills left a working file; left at the end: $left; after the next complete run: $stray"
[ "$failures" -eq 0 ] && [ "$stray" -eq 0 ]
