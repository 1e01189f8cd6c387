#!/usr/bin/env bash
# Checks the program's includes against its layout: every include of a header of the tree names
# its folder ("run/runcontroller.h"), the header exists, and a folder includes only the folders
# below it, as its CMake target links them. Run by the test suite (check_includes); prints each
# include that breaks the rule and fails when there is one.
#
#   scripts/check-includes.sh [TREE]
set -euo pipefail

tree=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$tree"

# The folders each folder may include besides its own, from the bottom of the program up.
declare -A below=(
    [common]=""
    [widgets]="common"
    [store]="common"
    [db]="common"
    [query]="common"
    [export]="common store"
    [run]="common store db"
    [settings]="common widgets"
    [help]="common widgets"
    [finder]="common db widgets"
    [map]="common store db finder widgets"
    [plot]="common store widgets"
    [app]="common widgets store db query export run settings help finder map plot"
    [data]="common"
    [packaging]="common"
)

faults=0
while IFS= read -r file; do
    folder=${file%%/*}
    while IFS=: read -r line text; do
        header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$text")
        [[ $header == *.moc ]] && continue
        if [[ $header != */* ]]; then
            echo "$file:$line: \"$header\" does not name its folder"
            faults=$((faults + 1))
            continue
        fi
        if [[ ! -f $header ]]; then
            echo "$file:$line: \"$header\" is no file of the tree"
            faults=$((faults + 1))
            continue
        fi
        to=${header%%/*}
        [[ $to == "$folder" ]] && continue
        # Tests and measuring programs may use every folder.
        [[ $folder == tests || $folder == bench ]] && continue
        if [[ -z ${below[$folder]+set} || " ${below[$folder]} " != *" $to "* ]]; then
            echo "$file:$line: $folder/ includes \"$header\" of $to/, which is not below it"
            faults=$((faults + 1))
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file" || true)
done < <(if [[ -d .git || -f .git ]]; then
    git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp'
else
    find . -path './build*' -prune -o -path ./.demo -prune -o \( -name '*.h' -o -name '*.cpp' \) \
        -type f -print | sed 's|^\./||'
fi)

if ((faults > 0)); then
    echo "check-includes: $faults includes break the layout"
    exit 1
fi
echo "check-includes: every include names its folder and stands below its includer"
