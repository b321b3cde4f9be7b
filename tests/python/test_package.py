# SPDX-License-Identifier: Apache-2.0
"""The package as a user gets it: its pure-Python parts, its type stub and
its installation."""
import ast
import os
import subprocess
import sys

import pytest

import ventrac


def test_to_dataframe_without_pandas_says_how_to_get_it(monkeypatch, ship_pilot, ship_message):
    monkeypatch.setitem(sys.modules, "pandas", None)  # import pandas now fails
    with pytest.raises(ImportError, match="python3-pandas"):
        ventrac.to_dataframe(ship_pilot.decode(ship_message[3]))
    for read in (ventrac.read, ventrac.iter_read):
        with pytest.raises(ImportError, match="python3-pandas"):
            read(ship_pilot, [ship_message[2]])


def test_errors_pickle_with_their_attributes():
    import pickle

    e = pickle.loads(pickle.dumps(ventrac.DecodeError("error 234: x", 234, 3, 7, "f.hpk")))
    assert (str(e), e.error, e.mode, e.index, e.source) == ("error 234: x", 234, 3, 7, "f.hpk")
    e = pickle.loads(pickle.dumps(ventrac.EncodeError("bad", 4)))
    assert (str(e), e.index) == ("bad", 4)


def test_the_stub_declares_what_the_module_exports():
    folder = os.path.dirname(ventrac.__file__)
    assert os.path.exists(os.path.join(folder, "py.typed"))
    with open(os.path.join(folder, "__init__.pyi")) as f:
        stub = ast.parse(f.read())
    declared = {}
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            declared[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
        elif isinstance(node, ast.FunctionDef):
            declared[node.name] = set()
        elif isinstance(node, ast.AnnAssign):
            declared[node.target.id] = set()
    assert set(ventrac.__all__) <= set(declared), set(ventrac.__all__) - set(declared)
    for cls in (ventrac.Pilot, ventrac.Observation, ventrac.Element):
        public = {name for name in vars(cls) if not name.startswith("_")}
        assert public <= declared[cls.__name__], (cls.__name__, public - declared[cls.__name__])
        assert cls.__doc__


def test_cmake_install_puts_the_package_where_the_interpreter_imports_it(tmp_path, examples):
    build = os.environ["VENTRAC_BUILD_DIR"]
    prefix = os.environ["VENTRAC_INSTALL_PREFIX"]
    where = os.environ["VENTRAC_PYTHON_INSTALL_DIR"]
    target = where if os.path.isabs(where) else os.path.join(prefix, where)
    env = dict(os.environ, DESTDIR=str(tmp_path))
    env.pop("LD_PRELOAD", None)  # a sanitizer runtime is for the module, not for cmake
    # The whole project: with a shared libventrac the module needs it too.
    subprocess.run([os.environ["VENTRAC_CMAKE"], "--install", build], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    installed = str(tmp_path) + os.path.join(target, "ventrac")
    assert sorted(os.listdir(installed))[:5] == \
        ["__init__.py", "__init__.pyi", "_errors.py", "_table.py", "_ventrac" + _suffix()]
    assert os.path.exists(os.path.join(installed, "py.typed"))
    # The installed copy imports and decodes on its own.
    env = dict(os.environ, PYTHONPATH=os.path.dirname(installed))
    code = ("import ventrac, sys; p = ventrac.Pilot(sys.argv[1]); "
            "print(ventrac.__file__, p.decode(p.encode(2, [2026], 'X')).identifier)")
    run = subprocess.run([sys.executable, "-c", code, os.path.join(examples, "ship.pilot")],
                         env=env, capture_output=True, text=True, check=True, cwd=str(tmp_path))
    assert run.stdout.split() == [os.path.join(installed, "__init__.py"), "X"]
    # With the default prefix the directory is one this interpreter searches.
    if prefix == "/usr/local" and not os.path.isabs(where):
        assert target in sys.path, (target, sys.path)


def _suffix():
    import sysconfig

    return sysconfig.get_config_var("EXT_SUFFIX")
