#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The README's set-up line installs exactly the packages of
# scripts/packages.txt (which .ci/run installs), and the README gives its two
# commands: a new user and CI install and run the same things.
# Usage: check-readme.sh [SOURCE_DIR]
set -euo pipefail
src=${1:-$(dirname "$0")/..}
scripts=$(dirname "$0")
setup=$("$scripts/readme-commands.sh" setup "$src/README.md")
"$scripts/readme-commands.sh" example "$src/README.md" >/dev/null
"$scripts/readme-commands.sh" test "$src/README.md" >/dev/null

readme_packages=$(sed 's/^apt-get update && apt-get install -y //' <<<"$setup" | tr -s ' ' '\n' | sort)
list_packages=$(tr -s ' \t' '\n' <"$src/scripts/packages.txt" | sed '/^$/d' | sort)
if [ "$readme_packages" != "$list_packages" ]; then
  echo "README set-up line and scripts/packages.txt differ:"
  diff <(echo "$readme_packages") <(echo "$list_packages") || true
  exit 1
fi
dupes=$(uniq -d <<<"$list_packages")
[ -z "$dupes" ] || { echo "listed twice in scripts/packages.txt: $dupes"; exit 1; }
echo "README set-up line names the $(wc -l <<<"$list_packages") packages of scripts/packages.txt"
