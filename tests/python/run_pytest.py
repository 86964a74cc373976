#!/usr/bin/python3
"""Runs one file of the Python module's tests with pytest (ctest calls it once per file).

Usage: run_pytest.py MODULE_DIR VELTRANE_BINARY SOURCE_DIR TEST_FILE

MODULE_DIR holds the built package veltrane ("NONE" when pybind11 was not found); exit 77 (a
skip) without it or without numpy. pytest itself is required.
"""

import os
import sys


def main():
    module_dir, binary, source, test_file = sys.argv[1:5]
    if module_dir == "NONE":
        print("skipped: the Python module was not built (pybind11 not found)")
        sys.exit(77)
    try:
        import numpy  # noqa: F401
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    import pytest

    sys.path.insert(0, module_dir)
    # Processes the tests start (Dask's workers, the example script) find the module too.
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, os.environ.get("PYTHONPATH")]))
    os.environ["VELTRANE_BINARY"] = binary
    os.environ["VELTRANE_SOURCE"] = source
    sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", "-W", "error::pytest.PytestUnraisableExceptionWarning",
                          "--rootdir", os.path.dirname(test_file), test_file]))


# Guarded: a worker process started by 'spawn' (a dask.distributed LocalCluster) imports this
# file again, and must not run the tests again.
if __name__ == "__main__":
    main()
