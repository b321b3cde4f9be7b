#!/usr/bin/env bash
# Runs lintian on each Debian package made by make_packages.sh in
# PACKAGE_DIR: any error or warning fails. The informational notes and the
# overrides the packages carry (with the reason for each) are shown too.
# Usage: check_lintian.sh PACKAGE_DIR
set -euo pipefail
pkg_dir=$1
shopt -s nullglob
debs=("$pkg_dir"/*.deb)
[ "${#debs[@]}" -gt 0 ] || { echo "lintian check: no .deb in $pkg_dir" >&2; exit 1; }
status=0
for deb in "${debs[@]}"; do
  echo "== lintian $(basename "$deb")"
  lintian --fail-on error,warning --display-info --show-overrides "$deb" || status=1
done
[ "$status" -eq 0 ] && echo "lintian: no error and no warning on ${#debs[@]} packages"
exit "$status"
