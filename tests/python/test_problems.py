"""One damaged input, one place: for each kind of input file, the command line's standard
error and the Python module (its exception, or a failed galaxy's Failure) name the same file
and record, and say the same reason."""

import os
import re
import shutil
import subprocess
import warnings

import pytest

import veltrane

SOURCE = os.environ.get("VELTRANE_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
SSP = "base/ssp_00400Myr_Z0.0200.dat"  # an SSP the example's galaxies weigh


def replace_line(path, record, text):
    lines = open(path).read().split("\n")
    lines[record - 1] = text
    open(path, "w").write("\n".join(lines))


def filters():
    veltrane.FilterSet("filters/")


def galaxy():
    with warnings.catch_warnings(record=True):
        warnings.simplefilter("always")
        g = veltrane.read_grid("grid.in").rebuild("gal01")
    assert not g.ok
    return g.failure


def result():
    veltrane.read_fit("galaxies/gal01")


def grid():
    veltrane.read_grid("grid.in")


# (input, file, record, its new text, how Python meets it, what the reason says)
DAMAGED = [
    ("a filter file", "filters/John_B.dat", 41, "4500 x", filters, "expected two numbers"),
    ("the filter list", "filters/ListFilters.txt", 1, "301", filters, "at most 300"),
    ("a standard spectrum", "filters/VegaLR.dat", 51, "1490.0 abc", filters, "found '1490.0 abc'"),
    ("an SSP file", SSP, 20, "1950.0 nonsense", galaxy, "expected two numbers (wavelength, flux)"),
    ("the SSP base file", "base/Base.example", 1, "fifteen", galaxy, "expected the number of SSPs"),
    ("a synthesis result", "galaxies/gal01", 64, "   1    abc", result, "expected population row 1"),
    ("the grid file", "grid.in", 5, "abc", grid, "expected the age cut in Gyr"),
]


@pytest.mark.parametrize("what, file, record, text, python, words", DAMAGED, ids=[d[0] for d in DAMAGED])
def test_the_command_line_and_python_say_the_same_place(tmp_path, monkeypatch, what, file, record, text, python, words):
    if "VELTRANE_BINARY" not in os.environ:
        pytest.skip("no veltrane binary (run through ctest)")
    work = tmp_path / "examples"
    shutil.copytree(os.path.join(SOURCE, "examples"), work)
    replace_line(work / file, record, text)
    monkeypatch.chdir(work)
    run = subprocess.run([os.environ["VELTRANE_BINARY"], "grid.in"], capture_output=True, text=True)
    said = [line for line in run.stderr.splitlines() if f"{file} record {record}" in line]
    assert said and words in said[0], run.stderr

    try:
        failure = python()
    except veltrane.VeltraneError as e:
        failure = veltrane.Failure(e.path, e.record, e.reason)
    assert (failure.path, failure.record) == (file, record)
    assert re.search(re.escape(f"{file} record {record}") + r"(, item \d+)?: " + re.escape(failure.reason), said[0])
