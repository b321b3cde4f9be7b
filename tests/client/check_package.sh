#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the Debian packages made by make_packages.sh in PACKAGE_DIR:
# - the four packages (three when the build has no Python module), one
#   version, their control fields and the dependencies between them;
# - which file lies in which package, every file under /usr, no file in two
#   packages, and nothing that `cmake --install` installs left out;
# - each package's copyright file and changelog.Debian.gz, and the ldconfig
#   trigger and shlibs file of libventrac0;
# - that every packaged program or module depends on the package of each
#   shared library it needs, simdjson's and ecCodes' among them;
# - from the unpacked packages: ventrac-check runs on the shipped example,
#   a C program builds with pkg-config against the -dev package and links
#   the static library and the shared one, and python3 imports the module.
# Without pkg-config all but the C client is checked, then the test reports
# itself skipped (status 77).
# Usage: check_package.sh PACKAGE_DIR CLIENT_DIR [CC]
set -euo pipefail
pkg_dir=$1 client_dir=$2 cc=${3:-cc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "package check: $*" >&2; exit 1; }

arch=$(dpkg --print-architecture)
shopt -s nullglob
debs=("$pkg_dir"/*.deb)
shopt -u nullglob
[ "${#debs[@]}" -gt 0 ] || fail "no .deb in $pkg_dir"
declare -A deb_of
for deb in "${debs[@]}"; do
  deb_of[$(dpkg-deb --field "$deb" Package)]=$deb
done
packages=(ventrac libventrac0 libventrac-dev)
[ -n "${deb_of[python3-ventrac]:-}" ] && packages+=(python3-ventrac)
[ "${#debs[@]}" -eq "${#packages[@]}" ] || fail "expected ${packages[*]}, found: ${!deb_of[*]}"
for p in "${packages[@]}"; do
  [ -n "${deb_of[$p]:-}" ] || fail "no package $p among: ${!deb_of[*]}"
done

# Control fields: one version for all, with a Debian revision, in the file
# name too; a maintainer with a real address; a synopsis of its own each.
field() { dpkg-deb --field "${deb_of[$1]}" "$2"; }
version=$(field ventrac Version)
[[ $version == *-* ]] || fail "version '$version' has no Debian revision"
declare -A section=([ventrac]=science [libventrac0]=libs [libventrac-dev]=libdevel
                    [python3-ventrac]=python)
synopses=
for p in "${packages[@]}"; do
  [ "$(field "$p" Version)" = "$version" ] || fail "$p has version $(field "$p" Version), not $version"
  [ "$(basename "${deb_of[$p]}")" = "${p}_${version}_${arch}.deb" ] ||
    fail "$p is in $(basename "${deb_of[$p]}")"
  [ "$(field "$p" Architecture)" = "$arch" ] || fail "$p: Architecture $(field "$p" Architecture)"
  [ "$(field "$p" Section)" = "${section[$p]}" ] || fail "$p: Section '$(field "$p" Section)'"
  [ "$(field "$p" Priority)" = optional ] || fail "$p: Priority '$(field "$p" Priority)'"
  [ "$(field "$p" Source)" = ventrac ] || fail "$p: Source '$(field "$p" Source)'"
  maintainer=$(field "$p" Maintainer)
  [[ $maintainer =~ ^[^\<]+\ \<[^@\>]+@[^@\>]+\.[a-z]+\>$ ]] && [[ $maintainer != *@localhost* ]] ||
    fail "$p: Maintainer '$maintainer'"
  synopsis=$(field "$p" Description | sed -n 1p)
  [ -n "$synopsis" ] && [ "$(field "$p" Description | wc -l)" -gt 2 ] ||
    fail "$p: no synopsis and long description"
  grep -Fxq "$synopsis" <<<"$synopses" && fail "$p has the synopsis of another package: $synopsis"
  synopses+="$synopsis"$'\n'
  echo "$p $version: Depends: $(field "$p" Depends)"
done

# The package names a Depends field lists, without versions or alternatives.
depends_names() { field "$1" Depends | sed 's/([^)]*)//g; s/|/,/g' | tr ',' '\n' | tr -d ' '; }
depends_on() { depends_names "$1" | grep -Fxq "$2"; }
for p in ventrac libventrac0; do
  for needed in libc6 libstdc++6; do
    depends_on "$p" "$needed" || fail "$p does not depend on $needed"
  done
done
field libventrac-dev Depends | tr ',' '\n' | sed 's/^ *//' |
  grep -Fxq "libventrac0 (= $version)" || fail "libventrac-dev does not depend on libventrac0 (= $version)"
if [ -n "${deb_of[python3-ventrac]:-}" ]; then
  depends_on python3-ventrac python3 || fail "python3-ventrac does not depend on python3"
  depends_on python3-ventrac libc6 || fail "python3-ventrac does not depend on libc6"
fi

# Contents, each package in its own list of absolute paths.
for p in "${packages[@]}"; do
  dpkg-deb --contents "${deb_of[$p]}" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' |
    sort >"$work/$p.files"
  outside=$(grep -v '^/usr/' "$work/$p.files" || true)
  [ -z "$outside" ] || fail "$p has files outside /usr: $outside"
  for f in copyright changelog.Debian.gz; do
    grep -qx "/usr/share/doc/$p/$f" "$work/$p.files" || fail "$p has no /usr/share/doc/$p/$f"
  done
done
dupes=$(cat "$work"/*.files | sort | uniq -d)
[ -z "$dupes" ] || fail "files in two packages: $dupes"
# What each package holds, besides its documentation and lintian overrides:
# every file must match its package's pattern, and each pattern must match.
declare -A holds=(
  [ventrac]='/usr/bin/ventrac /usr/bin/ventrac-decode /usr/bin/ventrac-check
             /usr/share/man/man1/ventrac\.1\.gz /usr/share/man/man1/ventrac-decode\.1\.gz
             /usr/share/man/man1/ventrac-check\.1\.gz /usr/share/doc/ventrac/NOTICE
             /usr/share/doc/ventrac/README\.md /usr/share/doc/ventrac/docs/[^/]+\.md
             /usr/share/doc/ventrac/examples/ship\.pilot
             /usr/share/doc/ventrac/examples/ship_obs\.txt /usr/share/doc/ventrac/examples/README\.md'
  [libventrac0]='/usr/lib/[^/]+/libventrac\.so\.0 /usr/lib/[^/]+/libventrac\.so\.0\.[0-9.]+'
  [libventrac-dev]='/usr/include/ventrac/.+\.h /usr/lib/[^/]+/libventrac\.so /usr/lib/[^/]+/libventrac\.a
                    /usr/lib/[^/]+/cmake/ventrac/ventrac.*\.cmake /usr/lib/[^/]+/pkgconfig/ventrac\.pc'
  [python3-ventrac]='/usr/lib/python3/dist-packages/ventrac/__init__\.py
                     /usr/lib/python3/dist-packages/ventrac/_ventrac\.cpython-[^/]+\.so
                     /usr/lib/python3/dist-packages/ventrac/[^/]+\.(py|pyi|typed)')
# ventrac-encode is built when its JSON library is there; the programs'
# package then holds it and its page.
if grep -qx '/usr/bin/ventrac-encode' "$work/ventrac.files"; then
  holds[ventrac]+=' /usr/bin/ventrac-encode /usr/share/man/man1/ventrac-encode\.1\.gz'
fi
for p in "${packages[@]}"; do
  grep -Ev "^/usr/share/doc/$p/(copyright|changelog\.Debian\.gz)$|^/usr/share/lintian/overrides/$p$" \
    "$work/$p.files" >"$work/$p.own" || true
  for pattern in ${holds[$p]}; do
    grep -Eqx "$pattern" "$work/$p.own" || fail "$p holds nothing matching $pattern"
  done
  while read -r f; do
    ok=false
    for pattern in ${holds[$p]}; do
      if grep -Eqx "$pattern" <<<"$f"; then ok=true; break; fi
    done
    $ok || fail "$p holds $f, which belongs to no package or another"
  done <"$work/$p.own"
done
grep -q '^/usr/include/ventrac/codec/codec\.h$' "$work/libventrac-dev.own" ||
  fail "libventrac-dev has no codec/codec.h"

# Each file the build's installation puts under the prefix is in a package
# (a file of no install component would be silently left out); only the
# licence text stays out, as the copyright files point to Debian's copy.
cat "$work"/*.own | sed 's|^/usr/||' | sort >"$work/packaged"
build_dir=$(cat "$pkg_dir/build-dir")
cmake --install "$build_dir" --prefix "$work/plain" >/dev/null
(cd "$work/plain" && find . -type f -o -type l) | sed 's|^\./||' | grep -vx 'share/doc/ventrac/LICENSE' |
  sort >"$work/installed"
left_out=$(comm -23 "$work/installed" "$work/packaged")
[ -z "$left_out" ] || fail "installed but in no package: $left_out"

# Copyright files, changelogs, libventrac0's control files.
dpkg-deb -x "${deb_of[ventrac]}" "$work/root"
for p in "${packages[@]}"; do
  dpkg-deb -x "${deb_of[$p]}" "$work/root"
  copyright=$work/root/usr/share/doc/$p/copyright
  head -n 1 "$copyright" | grep -Fxq \
    'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$p: the copyright file is not in the machine-readable format"
  grep -q '^License: Apache-2\.0$' "$copyright" && grep -q '/usr/share/common-licenses/Apache-2\.0' "$copyright" ||
    fail "$p: the copyright file does not give the Apache-2.0 licence"
  first=$(gzip -dc "$work/root/usr/share/doc/$p/changelog.Debian.gz" | head -n 1)
  [[ $first == "ventrac ($version) "* ]] || fail "$p: changelog begins '$first', not version $version"
done
dpkg-deb --ctrl-tarfile "${deb_of[libventrac0]}" | tar -x -C "$work" ./triggers ./shlibs 2>/dev/null ||
  fail "libventrac0 has no triggers or shlibs file"
grep -qx 'activate-noawait ldconfig' "$work/triggers" || fail "libventrac0 does not trigger ldconfig"
grep -qx "libventrac 0 libventrac0 (>= $version)" "$work/shlibs" ||
  fail "libventrac0's shlibs file reads: $(cat "$work/shlibs")"
dpkg-deb --ctrl-tarfile "${deb_of[libventrac0]}" | tar -t | grep -Eq '^\./(postinst|postrm)$' &&
  fail "libventrac0 has maintainer scripts (the ldconfig trigger does their work)"

# The Debian package that holds the shared library at PATH here, or nothing.
owner_of() {
  local real line owners
  real=$(readlink -f "$1")
  while IFS= read -r line; do
    owners=${line%%: *}
    if [ "$(readlink -f "${line#*: }")" = "$real" ]; then
      sed 's/:[^,]*//g; s/,/ /g' <<<"$owners"
      return
    fi
  done < <(dpkg -S "*/$(basename "$real")" 2>/dev/null | grep -v '^diversion')
}

# A packaged program or module that needs libventrac.so.0 must depend on
# libventrac0, and on the package of every other shared library it needs
# (simdjson's, ecCodes', ...), as this system resolves them; none may carry
# a run path.
for p in ventrac python3-ventrac; do
  [ -n "${deb_of[$p]:-}" ] || continue
  while read -r f; do
    file -b "$work/root$f" | grep -q '^ELF' || continue
    dyn=$(readelf -d "$work/root$f")
    if grep -q 'NEEDED.*\[libventrac\.so\.0\]' <<<"$dyn"; then
      depends_on "$p" libventrac0 || fail "$f needs libventrac.so.0 but $p does not depend on libventrac0"
    fi
    ! grep -Eq '\((RPATH|RUNPATH)\)' <<<"$dyn" || fail "$f carries a run path: $(grep -E 'R(UN)?PATH' <<<"$dyn")"
    needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dyn")
    while read -r lib arrow path _; do
      [ "$arrow" = "=>" ] && [ -e "$path" ] && [[ $lib != libventrac.so.* ]] || continue
      grep -Fxq "$lib" <<<"$needed" || continue  # needed by a library, not by the file
      owners=$(owner_of "$path")
      [ -n "$owners" ] || continue
      found=false
      for owner in $owners; do
        if depends_on "$p" "$owner"; then found=true; fi
      done
      $found || fail "$f needs $lib (Debian package $owners) but $p does not depend on it"
    done < <(ldd "$work/root$f" 2>/dev/null || true)
  done <"$work/$p.own"
done

# From the unpacked tree: the program on the shipped example, the C client
# through pkg-config against the shared and the static library, the module.
root=$work/root
libdir=$(dirname "$(grep -E '/libventrac\.so\.0$' "$work/libventrac0.own")")
export LD_LIBRARY_PATH=$root$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
pilot=$root/usr/share/doc/ventrac/examples/ship.pilot
"$root/usr/bin/ventrac-check" "$pilot"
if command -v pkg-config >/dev/null 2>&1; then
  export PKG_CONFIG_PATH=$root$libdir/pkgconfig
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$client_dir/client.c" -o "$work/client-shared" \
    $(pkg-config --cflags --libs ventrac)
  readelf -d "$work/client-shared" | grep -q 'NEEDED.*\[libventrac\.so\.0\]' ||
    fail "the client built with pkg-config --libs does not use libventrac.so.0"
  "$work/client-shared" "$pilot"
  # shellcheck disable=SC2046
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror "$client_dir/client.c" -o "$work/client-static" \
    $(pkg-config --cflags ventrac) -Wl,-Bstatic $(pkg-config --libs-only-L --libs-only-l ventrac) \
    -Wl,-Bdynamic $(pkg-config --static --libs-only-l ventrac | sed 's/-lventrac//')
  ! readelf -d "$work/client-static" | grep -q 'NEEDED.*libventrac' ||
    fail "the client linked with -Bstatic still needs libventrac.so"
  env -u LD_LIBRARY_PATH "$work/client-static" "$pilot"
fi
if [ -n "${deb_of[python3-ventrac]:-}" ] && [ -x /usr/bin/python3 ]; then
  PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c \
    'import sys, ventrac; print("python3 imports", ventrac.__file__); ventrac.Pilot(sys.argv[1])' "$pilot"
fi
if ! command -v pkg-config >/dev/null 2>&1; then
  echo "SKIPPED: pkg-config not found (Debian package pkg-config): the C client was not built"
  exit 77
fi
echo "package check passed: ${packages[*]} $version"
