#!/usr/bin/env bash
# CorpusManifest.sh CORPUS: every file of the corpus of real plugins is the
# one its MANIFEST.tsv names, with that size and SHA-256, and nothing else is
# there: a changed or added file would make the corpus tests judge other data.
# Exits 77 (skipped) when the corpus is absent.
corpus="$1"
[ -f "$corpus/MANIFEST.tsv" ] || { echo "corpus absent"; exit 77; }
cd "$corpus" || exit 1
status=0
listed=$(mktemp) && trap 'rm -f "$listed"' EXIT
while IFS=$'\t' read -r file _ _ _ size sum _; do
    echo "$file" >>"$listed"
    if [ "$(stat -c %s -- "$file" 2>/dev/null)" != "$size" ] || [ "$(sha256sum <"$file" | cut -d' ' -f1)" != "$sum" ]; then
        echo "corpus: $file is not the file of the manifest ($size bytes, SHA-256 $sum)" >&2
        status=1
    fi
done < <(tail -n +2 MANIFEST.tsv)
unlisted=$(find . -type f ! -name MANIFEST.tsv ! -name README.md | sed 's|^\./||' | sort | comm -23 - <(sort "$listed"))
[ -z "$unlisted" ] || { printf 'corpus: not in the manifest:\n%s\n' "$unlisted" >&2; status=1; }
exit $status
