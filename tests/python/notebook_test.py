#!/usr/bin/python3
"""The notebooks of examples/notebooks/: committed without outputs, and each run whole, in a
scratch copy of examples/, by a Jupyter kernel of this interpreter that imports the built
module and finds the built veltrane.

Usage: notebook_test.py MODULE_DIR VELTRANE_BINARY SOURCE_DIR

Exit 77 (a skip) when the module was not built ("NONE") or nbclient, ipykernel or matplotlib
is missing (Debian: python3-nbclient, python3-ipykernel, python3-matplotlib).
"""

import glob
import json
import os
import shutil
import sys
import tempfile


def kernel_of_this_interpreter(directory):
    """A kernelspec "python3" in `directory` that starts this interpreter, named first in
    JUPYTER_PATH (not whatever `python3` the system's kernelspec finds)."""
    spec = os.path.join(directory, "kernels", "python3")
    os.makedirs(spec)
    with open(os.path.join(spec, "kernel.json"), "w") as f:
        json.dump({"argv": [sys.executable, "-Xfrozen_modules=off", "-m", "ipykernel_launcher", "-f", "{connection_file}"],
                   "display_name": "Python 3", "language": "python"}, f)
    os.environ["JUPYTER_PATH"] = os.pathsep.join(filter(None, [directory, os.environ.get("JUPYTER_PATH")]))


def problems(committed, copy):
    """What is wrong with a notebook: outputs committed, or run in its directory of the scratch
    copy (a cell that raises stops the test), fewer than four figures or a warning printed."""
    import nbformat
    from nbclient import NotebookClient

    code = lambda nb: [c for c in nb.cells if c.cell_type == "code"]  # noqa: E731
    found = [f"cell {k} holds outputs (clear them before committing)" for k, c in enumerate(code(
        nbformat.read(committed, as_version=4)), start=1) if c.get("outputs") or c.get("execution_count") is not None]
    notebook = nbformat.read(copy, as_version=4)
    NotebookClient(notebook, timeout=600, kernel_name="python3",
                   resources={"metadata": {"path": os.path.dirname(copy)}}).execute()
    outputs = [o for c in code(notebook) for o in c.outputs]
    figures = sum("image/png" in o.get("data", {}) for o in outputs)
    found += [] if figures >= 4 else [f"{figures} figures drawn"]
    return found + [o.text for o in outputs if o.output_type == "stream" and o.name == "stderr" and "Warning" in o.text]


def main(module_dir, binary, source):
    if module_dir == "NONE":
        print("skipped: the Python module was not built (pybind11 not found)")
        return 77
    try:
        import ipykernel, matplotlib, nbclient, nbformat  # noqa: F401, E401
    except ImportError as err:
        print(f"skipped: {err}")
        return 77
    notebooks = sorted(glob.glob(os.path.join(source, "examples", "notebooks", "*.ipynb")))
    failures = 0
    with tempfile.TemporaryDirectory(prefix="veltrane-notebook-") as scratch:
        shutil.copytree(os.path.join(source, "examples"), os.path.join(scratch, "examples"))
        kernel_of_this_interpreter(os.path.join(scratch, "jupyter"))
        os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.abspath(module_dir),
                                                                 os.environ.get("PYTHONPATH")]))
        os.environ["VELTRANE"] = os.path.abspath(binary)
        os.environ.pop("MPLBACKEND", None)  # the kernel's inline figures
        for path in notebooks:
            name = os.path.relpath(path, source)
            for problem in problems(path, os.path.join(scratch, name)):
                failures += 1
                print(f"FAIL: {name}: {problem}")
    print(f"notebook_test: {len(notebooks)} notebooks, {failures} failures")
    return 1 if failures or not notebooks else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:4]))
