#!/usr/bin/env bash
# Builds the Debian package from the build tree (cpack -G DEB) into a
# temporary folder and checks it: its control fields and declared
# dependencies (dpkg-deb --info), that every file lies under /usr with the
# programs, the library, the headers, the man pages and the shipped example
# (dpkg-deb --contents), and that the packaged ventrac-check runs on the
# packaged example, and Debian's python3 imports the packaged Python module.
# Usage: check_package.sh BUILD_DIR [plain|sanitized]
# A sanitized build's module needs the sanitizer runtime loaded first: the
# import is then left out.
set -euo pipefail
build_dir=$1 build_kind=${2:-plain}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "package check: $*" >&2; exit 1; }

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
debs=("$work"/out/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb")"

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = ventrac ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture is '$(field Architecture)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
echo "Depends: $depends"
# The package names of the list, without versions or alternatives.
names=$(sed 's/([^)]*)//g; s/|/,/g' <<<"$depends" | tr ',' '\n' | tr -d ' ')
for needed in libc6 libstdc++6; do
  grep -Fxq "$needed" <<<"$names" || fail "Depends does not name $needed: '$depends'"
done
dpkg-deb --info "$deb" >/dev/null

# Contents: everything under /usr, and what a user and a developer need.
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|; s| ->.*||' >"$work/contents"
outside=$(grep -Ev '^/usr(/|$)|^/$' "$work/contents" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
for path in /usr/bin/ventrac /usr/bin/ventrac-decode /usr/bin/ventrac-check \
            /usr/include/ventrac/codec/codec.h /usr/include/ventrac/codec/context.h \
            /usr/include/ventrac/pilot/pilot.h \
            /usr/share/doc/ventrac/examples/ship.pilot /usr/share/doc/ventrac/examples/ship_obs.txt \
            /usr/share/doc/ventrac/examples/README.md; do
  grep -qx "$path" "$work/contents" || fail "$path is not in the package"
done
for page in ventrac ventrac-decode ventrac-check; do
  grep -Eqx "/usr/share/man/man1/$page\.1(\.gz)?" "$work/contents" ||
    fail "man page $page.1 is not in the package"
done
grep -Eq '^/usr/lib[^ ]*/libventrac\.(a|so\.0)$' "$work/contents" || fail "no libventrac in the package"
grep -Eq '^/usr/lib[^ ]*/pkgconfig/ventrac\.pc$' "$work/contents" || fail "no ventrac.pc in the package"
grep -Eq '^/usr/lib[^ ]*/cmake/ventrac/ventracConfig\.cmake$' "$work/contents" ||
  fail "no CMake package in the package"

# The Python module, when the build has it, lies where Debian's python3
# imports from, and the package depends on python3.
python_module=false
if grep -q '/ventrac/__init__\.py$' "$work/contents"; then
  python_module=true
  grep -qx /usr/lib/python3/dist-packages/ventrac/__init__.py "$work/contents" ||
    fail "the Python module is not under /usr/lib/python3/dist-packages: $(grep '/ventrac/__init__\.py$' "$work/contents")"
  grep -Fxq python3 <<<"$names" || fail "the package has the Python module but does not depend on python3"
fi

# The packaged programs (and module) run from the unpacked tree.
dpkg-deb -x "$deb" "$work/root"
libdir=$(dirname "$(find "$work/root" -name 'libventrac.*' | head -n 1)")
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
"$work/root/usr/bin/ventrac-check" "$work/root/usr/share/doc/ventrac/examples/ship.pilot"
if $python_module && [ "$build_kind" = plain ] && [ -x /usr/bin/python3 ]; then
  PYTHONPATH=$work/root/usr/lib/python3/dist-packages /usr/bin/python3 -c \
    'import sys, ventrac; print("python3 imports", ventrac.__file__); ventrac.Pilot(sys.argv[1])' \
    "$work/root/usr/share/doc/ventrac/examples/ship.pilot"
fi
echo "package check passed"
