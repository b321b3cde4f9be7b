#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the project into a fresh prefix and compiles every installed
# header on its own against that prefix alone: each C header (.h) as C99 and
# as C++20, warnings as errors. A header that leans on one included before
# it, or on the source tree, fails here.
# Usage: check_headers.sh BUILD_DIR [CC] [CXX]
set -euo pipefail
build_dir=$1 cc=${2:-cc} cxx=${3:-c++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
mapfile -t headers < <(cd "$prefix/include" && find . -type f | sed 's|^\./||' | sort)
[ "${#headers[@]}" -gt 0 ] || { echo "no header installed under include/"; exit 1; }
checked=0
for h in "${headers[@]}"; do
  case $h in
    *.h) ;;
    *) echo "unexpected file under include/: $h"; exit 1 ;;
  esac
  printf '#include <%s>\n' "$h" >"$work/one.c"
  cp "$work/one.c" "$work/one.cpp"
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" \
    -c "$work/one.c" -o "$work/one.o" || { echo "$h does not compile alone as C"; exit 1; }
  "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" \
    -c "$work/one.cpp" -o "$work/one.o" || { echo "$h does not compile alone as C++"; exit 1; }
  echo "compiles alone as C and C++: $h"
  checked=$((checked + 1))
done
echo "$checked headers checked"
