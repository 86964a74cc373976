"""Shared fixtures: the bundled example run by the built veltrane (with --ecsv) in a scratch
copy, and readers of its ECSV columns as float32 (masked entries as NaN)."""

import os
import shutil
import subprocess

import numpy as np
import pytest

SOURCE = os.environ.get("VELTRANE_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
GALAXIES = ("gal01", "gal02", "gal03", "gal04")


def column(table, name):
    """An ECSV column as float32, masked entries as NaN."""
    c = table[name]
    values = c.filled(np.nan) if hasattr(c, "filled") and getattr(c, "mask", None) is not None else c
    return np.asarray(values, dtype=np.float32)


def run_veltrane(directory, *args):
    """The built veltrane in `directory`; its exit status and standard output."""
    r = subprocess.run([os.environ["VELTRANE_BINARY"], *args], cwd=directory, capture_output=True, text=True)
    return r.returncode, r.stdout


@pytest.fixture(scope="session")
def example(tmp_path_factory):
    """A scratch copy of examples/ after `veltrane --ecsv --catalog-spectra --catalog survey.fits
    grid.in` (needs the binary)."""
    if "VELTRANE_BINARY" not in os.environ:
        pytest.skip("no veltrane binary (run through ctest)")
    work = tmp_path_factory.mktemp("example") / "examples"
    shutil.copytree(os.path.join(SOURCE, "examples"), work)
    status, _ = run_veltrane(work, "--ecsv", "--catalog-spectra", "--catalog", "survey.fits", "grid.in")
    assert status == 0
    return work


@pytest.fixture(scope="session")
def tables(example):
    """{galaxy: (mag.ecsv, spc.ecsv)} of the example run."""
    astropy_table = pytest.importorskip("astropy.table")
    read = lambda p: astropy_table.Table.read(p, format="ascii.ecsv")  # noqa: E731
    return {g: (read(example / "galaxies" / f"{g}.mag.ecsv"), read(example / "galaxies" / f"{g}.spc.ecsv"))
            for g in GALAXIES}
