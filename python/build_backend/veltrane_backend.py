"""The build backend of the Python package: setuptools' (setup.py drives the CMake build), with
the build requirements asked for only when the machine lacks them, so that an offline machine
with CMake and Debian's pybind11-dev builds with `--no-build-isolation` / `--no-isolation`
and a connected one gets them from the package index. There is no editable install: for
work on the package, build with CMake and set PYTHONPATH=build/python."""

from __future__ import annotations

import glob
import importlib.util
import os
import re
import shutil
import subprocess
import sys

from setuptools import build_meta as _setuptools
from setuptools.build_meta import (build_sdist, build_wheel, get_requires_for_build_sdist,  # noqa: F401
                                   prepare_metadata_for_build_wheel)

CMAKE_MINIMUM = (3, 20)  # the project's cmake_minimum_required


def _cmake_ok() -> bool:
    cmake = shutil.which("cmake")
    if cmake is None:
        return False
    out = subprocess.run([cmake, "--version"], capture_output=True, text=True).stdout
    found = re.search(r"(\d+)\.(\d+)", out)
    return found is not None and (int(found.group(1)), int(found.group(2))) >= CMAKE_MINIMUM


def _pybind11_ok() -> bool:
    """pybind11 as a Python package (which tells CMake where it is), or its CMake files in
    one of the usual prefixes (Debian's pybind11-dev, conda's pybind11)."""
    if importlib.util.find_spec("pybind11") is not None:
        return True
    prefixes = {sys.prefix, sys.base_prefix, "/usr", "/usr/local", os.environ.get("CONDA_PREFIX", "")}
    prefixes |= set(filter(None, os.environ.get("CMAKE_PREFIX_PATH", "").split(os.pathsep)))
    return any(glob.glob(os.path.join(p, pattern, "pybind11Config.cmake"))
               for p in prefixes if p for pattern in ("share/cmake/pybind11", "lib*/cmake/pybind11"))


def _missing() -> list[str]:
    return ([] if _cmake_ok() else ["cmake>=3.20"]) + ([] if _pybind11_ok() else ["pybind11>=2.10"])


def get_requires_for_build_wheel(config_settings=None):  # type: ignore[no-untyped-def]
    return list(_setuptools.get_requires_for_build_wheel(config_settings)) + _missing()

