#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Python module as pip builds it from the source tree, offline, with
# Debian's own tools: in a venv that sees the system's packages,
#   pip install --no-build-isolation .
# builds it through the project's CMake (setup.py) and installs it into the
# venv; then `pip wheel --no-build-isolation .` makes a wheel, installed in a
# fresh venv that sees nothing else. Each time the installed module encodes
# the shipped example and decodes it back, outside the source tree.
# The tree is copied first (without build trees), so that the source is left
# as it was. Without python3-venv or pip the test reports itself skipped.
# Usage: check_pip_install.sh PYTHON SOURCE_DIR
set -euo pipefail
python=$1 source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "pip check: $*" >&2; exit 1; }

if ! "$python" -c 'import ensurepip, venv' 2>/dev/null; then
  echo "SKIPPED: $python has no venv module (Debian package python3-venv)"
  exit 77
fi

mkdir "$work/src"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git --exclude='*.egg-info' \
  --exclude=__pycache__ -c . | tar -x -C "$work/src"
version=$(sed -n 's/^project(ventrac VERSION \([0-9.]*\).*/\1/p' "$work/src/CMakeLists.txt")

# Encodes the example observation and decodes it back with the module the
# given interpreter imports, which must come from that interpreter's prefix.
use_module() {
  (cd "$work" && "$1" - "$work/src/examples" "$version" <<'PY'
import pathlib, sys
import ventrac
examples, version = pathlib.Path(sys.argv[1]), sys.argv[2]
where = pathlib.Path(ventrac.__file__).resolve()
assert str(where).startswith(str(pathlib.Path(sys.prefix).resolve())), where
assert ventrac.__version__ == version, ventrac.__version__
lines = (examples / "ship_obs.txt").read_text().split("\n")
mode = int(lines[0])
values = []
for line in lines[1:]:
    if line.strip():
        presence, value = line.split()[:2]
        values.append(float(value) if int(presence) else None)
pilot = ventrac.Pilot(str(examples / "ship.pilot"))
obs = pilot.decode(pilot.encode(mode, values, "FNZ6042"))
assert (obs.identifier, obs.mode) == ("FNZ6042", mode), (obs.identifier, obs.mode)
print("imported", where, "- the example encodes and decodes back")
PY
  )
}

echo "== pip install --no-build-isolation . (venv with the system's packages)"
"$python" -m venv --system-site-packages "$work/venv"
if ! "$work/venv/bin/python" -m pip --version >/dev/null 2>&1; then
  echo "SKIPPED: the venv has no pip (Debian packages python3-pip and python3-venv)"
  exit 77
fi
"$work/venv/bin/python" -m pip install --no-index --no-build-isolation "$work/src" ||
  fail "pip install failed"
use_module "$work/venv/bin/python"

echo "== pip wheel --no-build-isolation ., installed in a fresh venv"
"$work/venv/bin/python" -m pip wheel --no-index --no-deps --no-build-isolation \
  -w "$work/wheels" "$work/src" || fail "pip wheel failed"
wheels=("$work"/wheels/ventrac-"$version"-*.whl)
[ -f "${wheels[0]}" ] || fail "no ventrac-$version wheel: $(ls "$work/wheels")"
contents=$("$python" -m zipfile -l "${wheels[0]}")
for f in ventrac/__init__.py ventrac/__init__.pyi ventrac/_errors.py ventrac/py.typed ventrac/_ventrac.; do
  grep -qF "$f" <<<"$contents" || fail "the wheel has no $f"
done
"$python" -m venv "$work/fresh"
"$work/fresh/bin/python" -m pip install --no-index "${wheels[0]}" || fail "installing the wheel failed"
use_module "$work/fresh/bin/python"
echo "pip check passed: $(basename "${wheels[0]}")"
