#!/usr/bin/env bash
# Gives every source file of the repository the line
#   SPDX-License-Identifier: Apache-2.0
# as its first comment line, in the file's own comment syntax:
#   C and C++ (.c .h .cpp .hpp .cc)   // ...   or /* ... */ in a file whose
#                                     comments are all of that form
#   CMake, shell, Python, TOML, pkg-config and ecCodes filter files, and
#   scripts without an extension that start with #!
#                                     # ...   (after the #! line, if any)
#   man pages (.1 .1.in ...)          .\" ...
# Markdown, data files (pilot files, observations, fuzz inputs, package
# lists) and empty marker files are not source files and are left alone.
# A file that already names its licence in its first lines is left as it
# is, so the sweep can be run again at any time.
#
# Usage: spdx-sweep.sh [--check] [REPO]
#   --check  change nothing; list the source files lacking the line and
#            exit 1 if there is any
# The files are those git tracks; outside a git checkout (a tree copied
# from `git archive`), every file but build trees.
set -euo pipefail

check=false repo=
for arg in "$@"; do
  case $arg in
    --check) check=true ;;
    -*) echo "usage: spdx-sweep.sh [--check] [REPO]" >&2; exit 2 ;;
    *) repo=$arg ;;
  esac
done
repo=${repo:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$repo"

readonly tag='SPDX-License-Identifier: Apache-2.0'

list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z
  else
    find . \( -name '.git' -o -name 'build*' -o -name out -o -name __pycache__ \
              -o -name '*.egg-info' \) -prune -o -type f -print0 | sed -z 's|^\./||'
  fi
}

# The comment syntax of a source file: c (//), cblock (/* */), hash (#),
# groff (.\"), or nothing for a file that is not source.
kind_of() {
  local f=$1
  case $f in
    fuzz/corpus/* | tests/data/* | *.md) return ;;
    *.c | *.h | *.cpp | *.hpp | *.cc)
      # Block comments only when the file has no // comment at all.
      if ! grep -q '^[[:space:]]*//' "$f" && grep -q '^[[:space:]]*/\*' "$f"; then
        echo cblock
      else
        echo c
      fi ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.cmake.in | *.sh | *.py | *.pyi | *.toml | \
    *.pc.in | *.filter)
      echo hash ;;
    *.[1-9] | *.[1-9].in) echo groff ;;
    *)
      # A script without an extension, such as .ci/run.
      if [[ $(basename "$f") != *.* ]] && [ "$(head -c 2 "$f")" = '#!' ]; then
        echo hash
      fi ;;
  esac
}

# The licence must be named in the file's first lines (after a #! line).
has_tag() { head -n 3 "$1" | grep -qF "$tag"; }

missing=0
while IFS= read -r -d '' f; do
  [ -f "$f" ] && [ -s "$f" ] || continue
  kind=$(kind_of "$f")
  [ -n "$kind" ] || continue
  has_tag "$f" && continue
  if $check; then
    echo "$f"
    missing=$((missing + 1))
    continue
  fi
  case $kind in
    c) line="// $tag" ;;
    cblock) line="/* $tag */" ;;
    hash) line="# $tag" ;;
    groff) line=".\\\" $tag" ;;
  esac
  tmp=$(mktemp "$f.spdx.XXXXXX")
  if [ "$(head -c 2 "$f")" = '#!' ]; then
    { head -n 1 "$f"; printf '%s\n' "$line"; tail -n +2 "$f"; } >"$tmp"
  else
    { printf '%s\n' "$line"; cat "$f"; } >"$tmp"
  fi
  chmod --reference="$f" "$tmp"
  mv "$tmp" "$f"
  echo "named the licence in $f"
done < <(list_files)

if $check && [ "$missing" -gt 0 ]; then
  echo "$missing source file(s) above do not name their licence ($tag);" \
       "scripts/spdx-sweep.sh adds the line" >&2
  exit 1
fi
