#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every link from README.md and docs/*.md to a file of the tree leads to a
# file that exists, and a link to a heading (FILE.md#anchor, or #anchor in
# the same page) to a heading of that page. Links to web addresses are not
# followed. Anchors are made as GitHub makes them: the heading in lower
# case, without what is not a letter, digit, blank, '-' or '_', blanks
# turned into '-'.
# Usage: check-doc-links.sh [SOURCE_DIR]
set -euo pipefail
src=${1:-$(dirname "$0")/..}
cd "$src"

anchors() {
  grep -E '^#{1,6} ' "$1" | sed -E 's/^#+ +//' | tr 'A-Z' 'a-z' |
    sed -E 's/[^a-z0-9 _-]//g; s/ /-/g'
}

pages=(README.md docs/*.md)
checked=0 broken=0
for page in "${pages[@]}"; do
  dir=$(dirname "$page")
  # Links outside code spans and fenced blocks: [text](target)
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:*) continue ;;
    esac
    file=${target%%#*}
    anchor=
    [[ $target == *#* ]] && anchor=${target#*#}
    if [ -z "$file" ]; then
      path=$page
    else
      path=$dir/$file
    fi
    checked=$((checked + 1))
    if [ ! -e "$path" ]; then
      echo "$page: link to $target: $path does not exist"
      broken=$((broken + 1))
    elif [ -n "$anchor" ] && ! anchors "$path" | grep -qx -- "$anchor"; then
      echo "$page: link to $target: $path has no heading #$anchor"
      broken=$((broken + 1))
    fi
  done < <(sed '/^```/,/^```/d' "$page" | grep -oE '\]\([^) ]+\)' | sed -E 's/^\]\(//; s/\)$//')
done
if [ "$broken" -gt 0 ]; then
  echo "$broken of $checked links do not resolve"
  exit 1
fi
echo "the $checked links of ${#pages[@]} pages resolve"
