#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs lintian on each Debian package made by make_packages.sh in
# PACKAGE_DIR: any error or warning fails. The informational notes are shown
# too, and the overrides each package carries, with the reason for each
# (lintian's --show-overrides would count the overridden tags as failures).
# Usage: check_lintian.sh PACKAGE_DIR
set -euo pipefail
pkg_dir=$1
shopt -s nullglob
debs=("$pkg_dir"/*.deb)
[ "${#debs[@]}" -gt 0 ] || { echo "lintian check: no .deb in $pkg_dir" >&2; exit 1; }
status=0
for deb in "${debs[@]}"; do
  echo "== lintian $(basename "$deb")"
  lintian --fail-on error,warning --display-info "$deb" || status=1
  package=$(dpkg-deb --field "$deb" Package)
  overrides=$(dpkg-deb --fsys-tarfile "$deb" |
              tar -xO "./usr/share/lintian/overrides/$package" 2>/dev/null || true)
  [ -z "$overrides" ] || printf 'overrides in %s:\n%s\n' "$package" "$overrides"
done
[ "$status" -eq 0 ] && echo "lintian: no error and no warning on ${#debs[@]} packages"
exit "$status"
