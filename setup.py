"""Builds the Python package veltrane for pip and `python3 -m build` with the project's CMake
build: CMake compiles the extension veltrane._core and assembles the package (its Python
files, the stubs and the generated _version.py) in <cmake build>/python/veltrane, and the wheel
takes that directory as it is. The metadata is in pyproject.toml; the version is the one of
CMakeLists.txt's project(), which the command line prints with --version.

Environment: CMAKE_ARGS (more arguments for the configure step, e.g.
"-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"), CMAKE_BUILD_PARALLEL_LEVEL (jobs),
VELTRANE_CMAKE_BUILD_DIR (the CMake build directory; default build-wheel/ in the source tree,
kept between builds so a second one only relinks what changed).
"""

import glob
import os
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
CMAKE_BUILD = os.environ.get("VELTRANE_CMAKE_BUILD_DIR") or os.path.join(ROOT, "build-wheel")


def project_version():
    """The version of project(veltrane VERSION x.y.z) in CMakeLists.txt."""
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"project\(\s*veltrane\s+VERSION\s+([0-9][0-9.]*)", f.read())
    if not found:
        raise RuntimeError("CMakeLists.txt: no project(veltrane VERSION ...)")
    return found.group(1)


class CMakeBuild(build_ext):
    """Configures and builds the target veltrane_python, then copies the assembled package."""

    def build_extension(self, ext):
        configure = ["cmake", "-S", ROOT, "-B", CMAKE_BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DVELTRANE_TESTS=OFF",
                     "-DVELTRANE_PYTHON=ON", f"-DVELTRANE_PYTHON3={sys.executable}"]
        try:  # pybind11 from the package index (a connected machine's build environment)
            import pybind11

            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:  # Debian's pybind11-dev or conda's pybind11, found by CMake
            pass
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        build = ["cmake", "--build", CMAKE_BUILD, "--target", "veltrane_python"]
        if self.parallel:
            build += ["--parallel", str(self.parallel)]
        for command in (configure, build):
            print(" ".join(shlex.quote(c) for c in command), flush=True)
            subprocess.run(command, check=True)
        package = os.path.join(CMAKE_BUILD, "python", "veltrane")
        if not glob.glob(os.path.join(package, "_core*.so")):
            raise RuntimeError("CMake did not build the extension veltrane._core: pybind11 was not found "
                               "(Debian: apt-get install pybind11-dev; elsewhere: pip install pybind11)")
        shutil.copytree(package, os.path.dirname(self.get_ext_fullpath(ext.name)), dirs_exist_ok=True)


os.makedirs(CMAKE_BUILD, exist_ok=True)
setup(version=project_version(), packages=[], py_modules=[], ext_modules=[Extension("veltrane._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild}, zip_safe=False,
      options={"build": {"build_base": os.path.join(CMAKE_BUILD, "setuptools")}, "egg_info": {"egg_base": CMAKE_BUILD}})
