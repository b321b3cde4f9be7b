# SPDX-License-Identifier: Apache-2.0
"""Builds the Python module `ventrac` for pip (pyproject.toml) through the
project's own CMake build: the extension and the package's files are what
python/CMakeLists.txt builds and installs (its `python` install component);
nothing here says how to compile them.

The interpreter running pip is the one the module is built for. CMake comes
from PATH, or from the CMAKE environment variable. The build tree is kept
under build-python/, apart from a CMake build tree of one's own.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE_DIR = Path(__file__).resolve().parent


def project_version():
    text = (SOURCE_DIR / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*ventrac\s+VERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise RuntimeError("no project(ventrac VERSION ...) in CMakeLists.txt")
    return match.group(1)


class CMakeExtension(Extension):
    """The compiled part, ventrac._ventrac: built by CMake, not setuptools."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures the project for this interpreter, builds the target
    ventrac_python and installs the `python` component (the whole package
    directory) where setuptools gathers the wheel's files."""

    def build_extension(self, ext):
        cmake = os.environ.get("CMAKE") or shutil.which("cmake")
        if not cmake:
            raise RuntimeError("cmake not found (Debian package cmake)")
        build_dir = Path(self.build_temp).resolve() / "cmake"
        # The package directory is ventrac/ in build_lib, the parent of the
        # extension's own path.
        package_root = Path(self.get_ext_fullpath(ext.name)).resolve().parent.parent
        config = "Debug" if self.debug else "Release"
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(self.parallel or 2)
        self._run([cmake, "-S", str(SOURCE_DIR), "-B", str(build_dir),
                   f"-DCMAKE_BUILD_TYPE={config}",
                   "-DVENTRAC_PYTHON=ON",
                   f"-DVENTRAC_PYTHON_EXECUTABLE={sys.executable}",
                   "-DVENTRAC_PYTHON_INSTALL_DIR=.",
                   "-DBUILD_SHARED_LIBS=OFF",
                   "-DBUILD_TESTING=OFF",
                   "-DVENTRAC_BENCH=OFF",
                   "-DVENTRAC_BUFR=OFF"])
        self._run([cmake, "--build", str(build_dir), "--config", config,
                   "--target", "ventrac_python", "--parallel", jobs])
        self._run([cmake, "--install", str(build_dir), "--config", config,
                   "--component", "python", "--prefix", str(package_root)])
        built = Path(self.get_ext_fullpath(ext.name))
        if not built.is_file():
            raise RuntimeError(f"CMake did not install {built.name} into {built.parent}")

    def _run(self, command):
        print(" ".join(command), flush=True)
        subprocess.run(command, check=True)


setup(
    version=project_version(),
    # The package comes whole from CMake's install (no discovery here).
    packages=[],
    py_modules=[],
    ext_modules=[CMakeExtension("ventrac._ventrac")],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": "build-python"}},
    zip_safe=False,
)
