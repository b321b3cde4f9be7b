#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the layout of the C and C++ files against .clang-format with
# clang-format 14 (Debian package clang-format): `clang-format --dry-run
# -Werror` on each file, then the names of the files that differ.
#   check-format.sh                 every tracked C/C++ file
#   check-format.sh --changed BASE  the C/C++ files changed since the point
#                                   where this branch left BASE (commits and
#                                   uncommitted changes alike)
# Exit status: 0 when every file checked is laid out as .clang-format says,
# 1 when one is not, 2 on a usage error or a missing tool.
# To lay out a file: clang-format -i FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: check-format.sh [--changed BASE]" >&2; exit 2; }
clang_format=${CLANG_FORMAT:-clang-format}
command -v "$clang_format" >/dev/null ||
  { echo "check-format.sh: $clang_format not found: apt-get install -y clang-format" >&2; exit 2; }
git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  { echo "check-format.sh: needs a git checkout" >&2; exit 2; }

patterns=('*.c' '*.h' '*.cc' '*.cpp' '*.hpp')
case ${1-} in
  "")
    [ $# -eq 0 ] || usage
    mapfile -t files < <(git ls-files -- "${patterns[@]}")
    what="tracked C/C++ files"
    ;;
  --changed)
    [ $# -eq 2 ] || usage
    base=$(git merge-base "$2" HEAD) ||
      { echo "check-format.sh: no common commit with $2" >&2; exit 2; }
    # Added, copied, modified or renamed: a deleted file has nothing to check.
    mapfile -t files < <(git diff --name-only --diff-filter=ACMR "$base" -- "${patterns[@]}")
    what="C/C++ files changed since $2 (${base:0:12})"
    ;;
  *) usage ;;
esac

version=$("$clang_format" --version)
case $version in
  *" version 14."*) ;;
  *) echo "check-format.sh: note: .clang-format is laid out for clang-format 14; this is: $version" >&2 ;;
esac

bad=()
for f in "${files[@]}"; do
  if ! "$clang_format" --style=file --dry-run -Werror "$f"; then
    bad+=("$f")
  fi
done
if [ "${#bad[@]}" -gt 0 ]; then
  echo "check-format.sh: ${#bad[@]} of ${#files[@]} $what differ from .clang-format (clang-format -i FILE lays one out):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "check-format.sh: the ${#files[@]} $what are laid out as .clang-format says"
