#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Prints one of the commands the README gives a new user, exactly as the
# README writes it, so that CI and the fresh-machine check run the README
# itself:
#   setup    the apt-get line that installs every Debian package needed
#   example  the command that builds and runs ventrac on the shipped example
#   test     the command that builds and runs every test
# Each is an indented line of README.md; it fails unless there is exactly one.
# Usage: readme-commands.sh setup|example|test [README]
set -euo pipefail
what=${1:?usage: readme-commands.sh setup|example|test [README]}
readme=${2:-$(dirname "$0")/../README.md}
case $what in
  setup) pattern='^    apt-get update && apt-get install -y [a-z0-9][-a-z0-9+. ]*$' ;;
  example) pattern='^    cmake .*--target run-example$' ;;
  test) pattern='^    cmake .* && ctest .*$' ;;
  *) echo "readme-commands.sh: unknown command kind '$what'" >&2; exit 2 ;;
esac
mapfile -t lines < <(grep -E -- "$pattern" "$readme" || true)
if [ "${#lines[@]}" -ne 1 ]; then
  echo "readme-commands.sh: README has ${#lines[@]} '$what' lines, expected 1" >&2
  exit 1
fi
printf '%s\n' "${lines[0]#    }"
