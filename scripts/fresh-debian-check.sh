#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Proves the README on a new Debian 12 machine: makes a minimal Debian 12
# root with debootstrap, copies the repository's tracked files into it, and
# there, as root, runs only what README.md says (its apt-get set-up line,
# then its two commands). Then it makes the four Debian packages as
# docs/packaging.md says (a build for /usr with the shared library, cpack -G
# DEB), runs lintian on them (lintian is a CI tool, installed for this step
# only), installs them with dpkg -i, and uses them: a C program builds with
# `pkg-config ventrac` against /usr and links the static library and
# libventrac.so.0, python3 imports the module, and the installed
# ventrac-check runs on the example the package ships.
#
# Needs root and Debian's debootstrap; the packages come from the Debian
# mirror this machine's apt uses (MIRROR overrides it).
#
# With --minimal it installs only cmake, make and g++ instead of the
# README's list, and checks that the example still runs and that the test
# command still passes, naming each test whose tool is missing as skipped.
#
# Usage: fresh-debian-check.sh [--minimal] [--worktree] [--keep] [ROOT_DIR]
#   --minimal   cmake, make and g++ only (see above)
#   --worktree  copy the files as they are on disk, tracked or not, but
#               those git ignores (default: as committed, git archive HEAD)
#   --keep      leave the root in place afterwards
#   ROOT_DIR    where to make the root (default: a new folder under /var/tmp)
set -euo pipefail

source_mode=head keep=false minimal=false root=
for arg in "$@"; do
  case $arg in
    --minimal) minimal=true ;;
    --worktree) source_mode=worktree ;;
    --keep) keep=true ;;
    -*) echo "usage: fresh-debian-check.sh [--minimal] [--worktree] [--keep] [ROOT_DIR]" >&2; exit 2 ;;
    *) root=$arg ;;
  esac
done

[ "$(id -u)" -eq 0 ] || { echo "fresh-debian-check.sh: must run as root" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "fresh-debian-check.sh: debootstrap not found" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)

# The Debian mirror of this machine's apt sources (deb822 or one-line form),
# for the suite bookworm itself.
find_mirror() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
           uri = ""; ok = 0
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^URIs:/) { sub(/^URIs:[ \t]*/, "", $i); split($i, u, /[ \t]+/); uri = u[1] }
             if ($i ~ /^Suites:/ && $i ~ /[ \t]bookworm([ \t]|$)/) ok = 1
           }
           if (ok && uri != "") { print uri; exit }
         }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    awk '$1 == "deb" { n = 2; if ($2 ~ /^\[/) { while ($n !~ /\]$/) n++; n++ }
                       if ($(n + 1) == "bookworm") { print $n; exit } }' "$f"
  done
}
mirror=${MIRROR:-$(find_mirror | head -n 1)}
mirror=${mirror:-http://deb.debian.org/debian}

if [ -z "$root" ]; then
  root=$(mktemp -d /var/tmp/ventrac-fresh.XXXXXX)
else
  mkdir -p "$root"
fi
root=$(cd "$root" && pwd)
[ "$root" != / ] || { echo "fresh-debian-check.sh: refusing / as the root" >&2; exit 2; }

mounted=()
cleanup() {
  local status=$? m
  for ((m = ${#mounted[@]} - 1; m >= 0; m--)); do
    umount "${mounted[$m]}" 2>/dev/null || umount -l "${mounted[$m]}" || true
  done
  if ! $keep; then
    if grep -q " $root/" /proc/mounts; then
      echo "fresh-debian-check.sh: $root still has mounts; not removed" >&2
    else
      rm -rf --one-file-system "$root"
    fi
  else
    echo "root kept in $root"
  fi
  exit "$status"
}
trap cleanup EXIT

step() { echo; echo "== [$((SECONDS / 60)) min $((SECONDS % 60)) s] $*"; }

step "debootstrap --variant=minbase bookworm $root $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror"

step "copying the repository's files ($source_mode, commit $(git -C "$repo" rev-parse --short HEAD)) to /src"
mkdir -p "$root/src"
if [ "$source_mode" = head ]; then
  git -C "$repo" archive HEAD | tar -x -C "$root/src"
else
  git -C "$repo" ls-files -z --cached --others --exclude-standard | tar -C "$repo" --null -T - -c | tar -x -C "$root/src"
fi

cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount -t sysfs sysfs "$root/sys" && mounted+=("$root/sys")
if [ -d "$root/dev/shm" ]; then
  mount -t tmpfs tmpfs "$root/dev/shm" && mounted+=("$root/dev/shm")
fi

# A command in the new root, as root, in /src, with a clean environment and
# no standard input.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive \
    /bin/bash -c "cd /src && $1" </dev/null
}

setup=$("$repo/scripts/readme-commands.sh" setup "$root/src/README.md")
example=$("$repo/scripts/readme-commands.sh" example "$root/src/README.md")
tests=$("$repo/scripts/readme-commands.sh" test "$root/src/README.md")
if $minimal; then
  setup="apt-get update && apt-get install -y cmake make g++"
fi

step "what the new root has before the README: $(in_root 'command -v cmake c++ cc g++ clang pkg-config python3 groff || true' | tr '\n' ' ')"

step "set-up: $setup"
in_root "$setup"

step "README example: $example"
in_root 'find . -path ./build -prune -o -print | sort' >"$root/tree-before"
in_root "$example"
in_root 'find . -path ./build -prune -o -print | sort' >"$root/tree-after"
if ! diff "$root/tree-before" "$root/tree-after"; then
  echo "FAILED: running the example changed the source tree (above)"
  exit 1
fi
in_root 'ls -l build/example/HPK_ship_obs.txt'

step "README tests: $tests"
in_root "$tests" 2>&1 | tee "$root/tests.log"
if $minimal; then
  # Each test whose tool is missing is there, reported skipped by name.
  for name in GoogleTest.UnitTests DecodeToolJson.ParsesWithPython Man.PagesFormatWithoutWarnings \
              Package.DebianPackageContents Package.LintianClean python.PipInstallAndWheel \
              Install.CClientBuildsAgainstThePrefix; do
    grep -Eq "[0-9]+ - $name \(Skipped\)" "$root/tests.log" ||
      { echo "FAILED: $name is not reported as skipped"; exit 1; }
  done
  step "minimal set-up check passed: the example ran, the tests passed, the tests lacking a tool were listed as skipped"
  exit 0
fi
# Only the tests that need CI's own tools (scripts/ci-packages.txt), none of
# them a user's, may be skipped there: lintian (it runs below), Wine for the
# Windows programs, libwreport for the second BUFR reader.
if grep -E '\*\*\*Skipped|\((Skipped|Disabled)\)|Not Run' "$root/tests.log" |
   grep -Ev '(Package\.LintianClean|CrossPlatform\.[A-Za-z]+|WindowsZip\.[A-Za-z]+|BufrWreport\.[A-Za-z]+) .*Skipped'; then
  echo "FAILED: tests were skipped or not run"
  exit 1
fi

step "Debian packages (docs/packaging.md): a build for /usr with the shared library, cpack -G DEB"
in_root 'cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_SHARED_LIBS=ON >/dev/null &&
         cmake --build build-deb -j2 >/dev/null && cd build-deb && cpack -G DEB'
in_root 'for deb in build-deb/*.deb; do echo "-- $deb ($(stat -c %s "$deb") bytes)";
           dpkg-deb --field "$deb" Package Version Section Depends; dpkg-deb --contents "$deb"; done'

step "lintian on each package (CI tool, installed for this step): apt-get install -y lintian"
in_root 'apt-get install -y lintian >/dev/null'
in_root 'for deb in build-deb/*.deb; do echo "-- lintian $deb";
           lintian --fail-on error,warning --display-info "$deb" || exit 1; done'
# Configured again, the README's build finds lintian: its package tests
# then run, none skipped.
in_root 'cmake -S . -B build >/dev/null && ctest --test-dir build --output-on-failure -R "^Package\."' |
  tee "$root/package-tests.log"
if grep -Eq '\*\*\*Skipped|\((Skipped|Disabled)\)|Not Run' "$root/package-tests.log"; then
  echo "FAILED: package tests were skipped or not run"
  exit 1
fi

step "dpkg -i the four packages, then use them from /usr"
in_root 'dpkg -i build-deb/*.deb'
in_root 'dpkg -l ventrac libventrac0 libventrac-dev python3-ventrac | tail -n 4'
in_root 'cd / && command -v ventrac ventrac-decode ventrac-check && ls /usr/share/man/man1/ventrac*'
in_root 'cd / && ventrac-check /usr/share/doc/ventrac/examples/ship.pilot'
in_root 'cd / && python3 -c "import ventrac; print(ventrac.__file__, ventrac.__version__)"'
# The C client of the tests, built by hand against /usr: with the shared
# library, then as a static program.
in_root 'mkdir -p /tmp/client && cp tests/client/client.c /tmp/client/ &&
         echo "pkg-config --cflags --libs ventrac: $(pkg-config --cflags --libs ventrac)"'
in_root 'cd /tmp/client &&
         cc -std=c99 -Wall -Wextra -Werror client.c -o client-shared $(pkg-config --cflags --libs ventrac)'
# /lib is /usr/lib on Debian 12: the dynamic linker may name either.
in_root 'cd /tmp/client && ldd client-shared | grep -E "libventrac\.so\.0 => (/usr)?/lib/"'
in_root 'cd /tmp/client && ./client-shared /usr/share/doc/ventrac/examples/ship.pilot'
in_root 'cd /tmp/client &&
         cc -std=c99 -Wall -Wextra -Werror -static client.c -o client-static \
            $(pkg-config --cflags --libs --static ventrac) && file client-static'
in_root 'cd /tmp/client && file client-static | grep -q "statically linked" &&
         ./client-static /usr/share/doc/ventrac/examples/ship.pilot &&
         echo "the C client links libventrac.so.0 and, statically, libventrac.a"'

step "fresh Debian 12 check passed"
