#!/usr/bin/env bash
# Installs the project into a fresh prefix, then builds the C client against
# that prefix alone, once through CMake's find_package and once through
# pkg-config, and runs both on the shipped pilot file.
# Usage: check_install.sh BUILD_DIR CLIENT_DIR PILOT
set -euo pipefail
build_dir=$1 client_dir=$2 pilot=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for f in bin/ventrac lib/libventrac.a include/ventrac/pilot/pilot.h \
         include/ventrac/codec/codec.h lib/pkgconfig/ventrac.pc \
         lib/cmake/ventrac/ventracConfig.cmake; do
  [ -e "$prefix/$f" ] || { echo "missing from the install: $f"; exit 1; }
done

cmake -S "$client_dir" -B "$work/cmake-client" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-client" >/dev/null
"$work/cmake-client/client" "$pilot"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror "$client_dir/client.c" -o "$work/pc-client" \
   $(pkg-config --cflags ventrac) $(pkg-config --libs --static ventrac)
"$work/pc-client" "$pilot"

# The headers also compile as C++.
echo '#include <ventrac/codec/codec.h>
int main() { return nbparobs; }' > "$work/cxx.cpp"
c++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" -c "$work/cxx.cpp" -o "$work/cxx.o"
echo "install check passed"
