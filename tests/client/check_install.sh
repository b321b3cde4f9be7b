#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the project into a fresh prefix, checks the layout, runs the
# installed programs, then builds the C client against that prefix alone,
# once through CMake's find_package and once through pkg-config, and runs
# both on the shipped pilot file. Works for a static and a shared libventrac
# (which comes with the static one: then both are linked, each way).
# Without pkg-config everything else is checked, then the test reports itself
# skipped (status 77) and names the package to install.
# Usage: check_install.sh BUILD_DIR CLIENT_DIR PILOT [CC]
set -euo pipefail
build_dir=$1 client_dir=$2 pilot=$3 cc=${4:-cc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install check: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name ventrac.pc)
[ -n "$pc" ] || fail "missing from the install: ventrac.pc"
libdir=$(dirname "$(dirname "$pc")")
for f in bin/ventrac bin/ventrac-decode bin/ventrac-check \
         include/ventrac/pilot/pilot.h include/ventrac/codec/codec.h \
         include/ventrac/codec/context.h "${libdir#"$prefix"/}/cmake/ventrac/ventracConfig.cmake" \
         share/doc/ventrac/examples/ship.pilot share/doc/ventrac/examples/ship_obs.txt; do
  [ -e "$prefix/$f" ] || fail "missing from the install: $f"
done
for page in ventrac ventrac-decode ventrac-check; do
  compgen -G "$prefix/share/man/man1/$page.1*" >/dev/null || fail "missing man page: $page.1"
done

# The static archive, and with a shared library the shared library too, with
# its SONAME and the links to it.
[ -e "$libdir/libventrac.a" ] || fail "missing from the install: libventrac.a"
shared=false
if [ -e "$libdir/libventrac.so" ]; then
  shared=true
  soname=$(readelf -d "$libdir/libventrac.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = libventrac.so.0 ] || fail "SONAME is '$soname', not libventrac.so.0"
  [ -L "$libdir/libventrac.so.0" ] || fail "libventrac.so.0 is not a link"
  # A client built by hand finds the shared library at run time this way.
  export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
fi

# The installed programs run from the prefix.
"$prefix/bin/ventrac-check" "$prefix/share/doc/ventrac/examples/ship.pilot" >/dev/null
"$prefix/bin/ventrac-decode" --version >/dev/null
(cd "$work" && cp "$prefix/share/doc/ventrac/examples/ship_obs.txt" . &&
  { "$prefix/bin/ventrac" "$pilot" ship_obs.txt FNZ6042 MOD >/dev/null || true; } &&
  [ -s HPK_ship_obs.txt ]) || fail "the installed ventrac wrote no message"

cmake -S "$client_dir" -B "$work/cmake-client" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" >/dev/null
cmake --build "$work/cmake-client" >/dev/null
"$work/cmake-client/client" "$pilot"
# Beside a shared library, ventrac::ventrac_static links the static one.
needs_so() { readelf -d "$1" | grep -q 'NEEDED.*\[libventrac\.so'; }
if $shared; then
  needs_so "$work/cmake-client/client" || fail "the client linking ventrac::ventrac does not use libventrac.so"
  cmake -S "$client_dir" -B "$work/cmake-client-static" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DVENTRAC_CLIENT_STATIC=ON >/dev/null
  cmake --build "$work/cmake-client-static" >/dev/null
  ! needs_so "$work/cmake-client-static/client" || fail "the client linking ventrac::ventrac_static uses libventrac.so"
  env -u LD_LIBRARY_PATH "$work/cmake-client-static/client" "$pilot"
fi

if ! command -v pkg-config >/dev/null 2>&1; then
  echo "SKIPPED: pkg-config not found (Debian package pkg-config): the pkg-config client is not built"
  exit 77
fi
export PKG_CONFIG_PATH=$(dirname "$pc")
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$client_dir/client.c" -o "$work/pc-client" \
   $(pkg-config --cflags ventrac) $(pkg-config --libs --static ventrac)
"$work/pc-client" "$pilot"
if $shared; then
  # pkg-config's -lventrac takes the shared library; -Bstatic the archive.
  needs_so "$work/pc-client" || fail "the pkg-config client does not use libventrac.so"
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$client_dir/client.c" -o "$work/pc-client-static" \
     $(pkg-config --cflags ventrac) -Wl,-Bstatic $(pkg-config --libs ventrac) -Wl,-Bdynamic \
     $(pkg-config --libs --static ventrac | sed 's/-lventrac\b//')
  ! needs_so "$work/pc-client-static" || fail "the pkg-config client linked -Bstatic uses libventrac.so"
  env -u LD_LIBRARY_PATH "$work/pc-client-static" "$pilot"
fi
echo "install check passed"
