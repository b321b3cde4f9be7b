#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the whole project (library, programs, tests, fuzz replays,
# benchmarks and the optional parts found) in every build type with g++ and
# with clang++, warnings as errors, and prints a table of the results. Each
# build has its own folder under BUILD_ROOT; the log of one that fails is
# printed in part and kept there.
# Usage: build-matrix.sh [BUILD_ROOT]   (default: /tmp/ventrac-build-matrix)
# JOBS (default 2) sets the parallel jobs of each build; TYPES and COMPILERS
# (blank-separated) narrow the matrix, e.g. COMPILERS=clang++ TYPES=Release.
# WERROR=OFF builds on past warnings, to list them all; a build with any
# warning fails either way.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build_root=${1:-/tmp/ventrac-build-matrix}
jobs=${JOBS:-2}
werror=${WERROR:-ON}
read -r -a types <<<"${TYPES:-Debug Release RelWithDebInfo MinSizeRel}"
read -r -a compilers <<<"${COMPILERS:-g++ clang++}"
mkdir -p "$build_root"

results=() failed=0
for cxx in "${compilers[@]}"; do
  case $cxx in
    g++) cc=gcc ;;
    clang++) cc=clang ;;
    *) cc=${CC:-cc} ;;
  esac
  if ! command -v "$cxx" >/dev/null 2>&1; then
    results+=("$cxx - not found")
    failed=$((failed + 1))
    continue
  fi
  for type in "${types[@]}"; do
    dir=$build_root/$cxx-$type
    log=$dir.log
    echo "== $cxx $type"
    start=$SECONDS
    if CC=$cc CXX=$cxx cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE="$type" \
         -DVENTRAC_WERROR="$werror" >"$log" 2>&1 &&
       cmake --build "$dir" -j"$jobs" >>"$log" 2>&1 &&
       ! grep -q 'warning:' "$log"; then
      results+=("$cxx $type ok ($((SECONDS - start)) s, no warning)")
    else
      results+=("$cxx $type FAILED (log: $log)")
      failed=$((failed + 1))
      # Each message once, with the project's lines it was inlined from.
      grep -E "(warning|error):|inlined from .* at $src/" "$log" |
        sed -E "s|.* at ($src/[^:]+:[0-9]+).*|  from \1|" | sort | uniq -c | sort -rn | head -n 30
    fi
  done
done
echo
printf '%s\n' "${results[@]}"
echo "build matrix: $(( ${#results[@]} - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
