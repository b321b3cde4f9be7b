#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Makes the Debian packages the package tests look at, into OUT_DIR: with
# cpack from this build when it is configured for them (prefix /usr, shared
# library, no sanitizer), else from a build of its own configured that way,
# as docs/packaging.md tells, in BUILD_DIR/package-build, with the options
# given after the mode (the compilers and choices of this build).
# Usage: make_packages.sh SOURCE_DIR BUILD_DIR OUT_DIR here|own [CMAKE_ARGS...]
set -euo pipefail
source_dir=$1 build_dir=$2 out=$3 mode=$4
shift 4

rm -rf "$out"
mkdir -p "$out"
if [ "$mode" = own ]; then
  deb_build=$build_dir/package-build
  echo "this build is not configured for Debian packages: building them in $deb_build"
  cmake -S "$source_dir" -B "$deb_build" -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_SHARED_LIBS=ON \
    -DBUILD_TESTING=OFF -DVENTRAC_BENCH=OFF "$@" >"$out/configure.log" 2>&1 ||
    { cat "$out/configure.log"; echo "configuring $deb_build failed" >&2; exit 1; }
  cmake --build "$deb_build" -j2 >"$out/build.log" 2>&1 ||
    { tail -n 50 "$out/build.log"; echo "building $deb_build failed" >&2; exit 1; }
  build_dir=$deb_build
fi
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; echo "cpack -G DEB failed" >&2; exit 1; }
echo "$build_dir" >"$out/build-dir"
ls -l "$out"/*.deb
