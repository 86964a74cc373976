"""Loading a filter set: damaged files named with their record, filters without samples or
without BD+17d4708, directory forms; and the type stubs of the compiled core, the version."""

import ast
import inspect
import os
import pathlib
import re
import shutil
import subprocess

import numpy as np
import pytest
from conftest import SOURCE

import veltrane
from veltrane import _core

FILTERS = os.path.join(SOURCE, "examples", "filters")


def lines(path, edit):
    text = path.read_text().split("\n")
    path.write_text("\n".join(edit(text)))


# (case, file, edit of its lines or None to remove it, file named, record, words of the message)
DAMAGED = [
    ("missing Vega", "VegaLR.dat", None, "VegaLR.dat", None, "cannot be opened"),
    ("a count above 10,000", "Sun_LR.dat", lambda t: ["Sun 20000"] + t[1:], "Sun_LR.dat", 1, "announces 20000 samples"),
    ("a short standard", "BD+17d4708.dat", lambda t: t[:100], "BD+17d4708.dat", 101, "ends before sample 100 of 2601"),
    ("a bad sample", "VegaLR.dat", lambda t: t[:50] + ["1490.0 abc"] + t[51:], "VegaLR.dat", 51, "found '1490.0 abc'"),
    ("a standard out of order", "VegaLR.dat", lambda t: t[:20] + [t[21], t[20]] + t[22:], "VegaLR.dat", 22,
     r"increase strictly \(1190 Å after 1200 Å\)"),
    ("no list", "ListFilters.txt", None, "ListFilters.txt", None, "cannot be opened"),
    ("a list of 301", "ListFilters.txt", lambda t: ["301"] + t[1:], "ListFilters.txt", 1, "at most 300"),
    ("a short list", "ListFilters.txt", lambda t: t[:4], "ListFilters.txt", 5, "ends before the name of filter 4"),
    ("a missing filter", "SDSS_g.dat", None, "SDSS_g.dat", None, "filter 7 of ListFilters.txt, record 8"),
    ("a bad filter record", "John_B.dat", lambda t: t[:40] + ["4500 x"] + t[41:], "John_B.dat", 41,
     "transmission.*found '4500 x'"),
    ("a filter out of order", "Cous_R.dat", lambda t: t[:30] + [t[31], t[30]] + t[32:], "Cous_R.dat", 32,
     r"\(5370 Å after 5380 Å\)"),
    ("a repeated wavelength", "SDSS_i.dat", lambda t: t[:60] + [t[59]] + t[60:], "SDSS_i.dat", 61,
     r"\(7030 Å after 7030 Å\)"),
    ("a filter of one sample", "Cous_I.dat", lambda t: t[:16], "Cous_I.dat", 16, "two samples or more"),
]


@pytest.mark.parametrize("case, file, edit, named, record, words", DAMAGED, ids=[d[0] for d in DAMAGED])
@pytest.mark.parametrize("weighting", ["energy", "photon"])
def test_a_damaged_filter_set_names_its_file_and_record(tmp_path, case, file, edit, named, record, words, weighting):
    d = tmp_path / "filters"
    shutil.copytree(FILTERS, d)
    if edit is None:
        (d / file).unlink()
    else:
        lines(d / file, edit)
    with pytest.raises(veltrane.FilterSetError, match=f"cannot load the filter set: {re.escape(str(d))}/{re.escape(named)}.*{words}") as e:
        veltrane.FilterSet(d, weighting=weighting)
    assert e.value.path == f"{d}/{named}" and e.value.record == record


def test_filters_without_samples_or_without_bd_17d4708(tmp_path):
    d = tmp_path / "filters"
    shutil.copytree(FILTERS, d)
    lines(d / "SDSS_z.dat", lambda t: t[:15])  # the header only
    lines(d / "BD+17d4708.dat", lambda t: ["BD 501"] + t[1:502])  # stops at 6000 Å
    with pytest.warns(veltrane.FilterWarning, match="SDSS_z.dat has no sample"):
        fs = veltrane.FilterSet(str(d))
    assert fs.samples[-1] == 0 and np.isnan([fs.lambda_eff[-1], fs.areas[-1], fs.vega_fluxes[-1]]).all()
    bd_end = np.loadtxt(d / "BD+17d4708.dat", skiprows=1)[-1, 0]
    red = np.array([fs.samples[i] > 0 and fs.curve(i)[0][0] >= bd_end for i in range(len(fs))])
    assert np.isnan(fs.tg_of_vega[red]).all() and np.isfinite(fs.tg_of_vega[~red & (fs.samples > 0)]).all()
    wave = np.linspace(2000.0, 12000.0, 500)
    m = fs.magnitudes(wave, np.ones(500))
    assert np.isnan(m[-1]).all() and np.isnan(m[red, 3]).all() and np.isfinite(m[~red & (fs.samples > 0)]).all()


def test_directory_forms():
    a = veltrane.FilterSet(pathlib.Path(FILTERS))
    b = veltrane.FilterSet(FILTERS + "/")
    assert a.directory == b.directory == FILTERS + "/" and len(a) == 10
    assert a.index("SDSS_r.dat") == 7 and (a.curve("SDSS_r.dat")[0] == a.curve(7)[0]).all()
    with pytest.raises(ValueError, match="must not hold a blank"):
        veltrane.FilterSet("some dir/filters")
    with pytest.raises(ValueError, match="'energy' or 'photon'"):
        veltrane.FilterSet(FILTERS, weighting="photons")
    with pytest.raises(KeyError):
        a.index("V.dat")


def test_core_stubs_match_the_compiled_core():
    stub = ast.parse(pathlib.Path(inspect.getfile(veltrane)).with_name("_core.pyi").read_text())
    declared = {}
    for node in stub.body:
        if isinstance(node, ast.FunctionDef):
            declared[node.name] = [a.arg for a in node.args.args]
        elif isinstance(node, ast.ClassDef):
            for f in node.body:
                if isinstance(f, ast.FunctionDef):
                    declared[f"{node.name}.{f.name}"] = [a.arg for a in f.args.args][1:]
        elif isinstance(node, ast.AnnAssign):
            declared[node.target.id] = None
    compiled = {n for n in dir(_core) if not n.startswith("_")}
    compiled |= {f"{c}.{m}" for c in ("FilterSet", "Cache") for m in vars(getattr(_core, c)) if not m.startswith("_")}
    compiled |= {"FilterSet.__init__", "Cache.__init__"}
    assert compiled - {"FilterSet", "Cache"} == set(declared)
    for name, params in declared.items():
        if params is None:
            continue
        obj = _core
        for part in name.split("."):
            obj = getattr(obj, part)
        doc = obj.fget.__doc__ if isinstance(obj, property) else obj.__doc__
        signature = re.search(r"\((.*?)\)\s*->", doc.splitlines()[0] if "__init__" not in name else doc).group(1)
        names = [p.split(":")[0].strip() for p in signature.split(", ") if p][1 if "." in name else 0:]
        assert names == params, name


def test_the_public_functions_are_annotated_for_type_checkers():
    for name in veltrane.__all__:
        obj = getattr(veltrane, name)
        members = [obj] if inspect.isfunction(obj) else [m for _, m in inspect.getmembers(obj, inspect.isfunction)
                                                          if inspect.isclass(obj) and not m.__name__.startswith("_")]
        for f in members:
            sig = inspect.signature(f)
            assert sig.return_annotation is not inspect.Signature.empty, f.__qualname__
            assert all(p.annotation is not p.empty for p in sig.parameters.values() if p.name != "self"), f.__qualname__
            assert f.__doc__, f.__qualname__


def test_the_version_is_the_command_line_s():
    if "VELTRANE_BINARY" not in os.environ:
        pytest.skip("no veltrane binary (run through ctest)")
    printed = subprocess.run([os.environ["VELTRANE_BINARY"], "--version"], capture_output=True, text=True).stdout
    assert printed == f"veltrane {veltrane.__version__}\n" and re.fullmatch(r"\d+\.\d+\.\d+", veltrane.__version__)
