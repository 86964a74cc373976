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


def stored_outputs(notebook):
    """The code cells (1-based) that hold outputs or an execution count."""
    return [k for k, cell in enumerate(notebook.cells, start=1) if cell.cell_type == "code" and (
        cell.get("outputs") or cell.get("execution_count") is not None)]


def kernel_of_this_interpreter(directory):
    """A kernelspec "python3" in `directory` that starts this interpreter, named first in
    JUPYTER_PATH (not whatever `python3` the system's kernelspec finds)."""
    spec = os.path.join(directory, "kernels", "python3")
    os.makedirs(spec)
    with open(os.path.join(spec, "kernel.json"), "w") as f:
        json.dump({"argv": [sys.executable, "-Xfrozen_modules=off", "-m", "ipykernel_launcher", "-f", "{connection_file}"],
                   "display_name": "Python 3", "language": "python"}, f)
    os.environ["JUPYTER_PATH"] = os.pathsep.join(filter(None, [directory, os.environ.get("JUPYTER_PATH")]))


def run(path, work):
    """Executes the notebook in its directory of the scratch copy; a cell that raises fails it.
    Returns (figures drawn, warnings printed)."""
    import nbformat
    from nbclient import NotebookClient

    notebook = nbformat.read(path, as_version=4)
    NotebookClient(notebook, timeout=600, kernel_name="python3", resources={"metadata": {"path": work}}).execute()
    outputs = [o for cell in notebook.cells if cell.cell_type == "code" for o in cell.outputs]
    figures = sum("image/png" in o.get("data", {}) for o in outputs)
    warned = [o.text for o in outputs if o.output_type == "stream" and o.name == "stderr" and "Warning" in o.text]
    return figures, warned


def main(module_dir, binary, source):
    if module_dir == "NONE":
        print("skipped: the Python module was not built (pybind11 not found)")
        return 77
    try:
        import matplotlib  # noqa: F401
        import nbclient  # noqa: F401
        import nbformat
        import ipykernel  # noqa: F401
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
            stored = stored_outputs(nbformat.read(path, as_version=4))
            if stored:
                failures += 1
                print(f"FAIL: {name}: code cells {stored} hold outputs (clear them before committing)")
            figures, warned = run(os.path.join(scratch, name), os.path.dirname(os.path.join(scratch, name)))
            if figures < 4 or warned:
                failures += 1
                print(f"FAIL: {name}: {figures} figures drawn; warnings: {warned}")
    print(f"notebook_test: {len(notebooks)} notebooks, {failures} failures")
    return 1 if failures or not notebooks else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:4]))
