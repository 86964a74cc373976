"""One galaxy rebuilt as a run does: its tables byte for byte, its arrays and masses as the
ECSV tables hold them, the de-reddened observation, failures, and the table readers."""

import os
import re
import shutil
import subprocess
import sys

import numpy as np
import pytest
from conftest import GALAXIES, column, run_veltrane

import veltrane

SPC = [("ext_wave", "lambda_ext"), ("ext_flux", "flux_ext"), ("obs_wave", "lambda_obs"), ("obs_flux", "flux_obs"),
       ("wave", "lambda"), ("total", "flux_total"), ("young", "flux_young"), ("old", "flux_old"),
       ("red_term", "red_term")]


PARAMETERS = dict(t_cut_gyr=1.0, phyunits=1.0e-17, distance=45.0)  # gal01's in the example grid


def same(a, b):
    return np.array_equal(np.asarray(a, dtype=np.float32).view(np.uint32), np.asarray(b, dtype=np.float32).view(np.uint32))


@pytest.fixture(scope="module")
def rebuilt(example):
    """Every galaxy of the example's grid, rebuilt from the example's directory as a run is run."""
    with pytest.MonkeyPatch.context() as mp:
        mp.chdir(example)
        grid = veltrane.read_grid("grid.in", root=".")
        cache = veltrane.InputCache()
        return {g: grid.rebuild(g, cache=cache, missing="sentinel") for g in GALAXIES}


@pytest.mark.parametrize("galaxy", GALAXIES)
def test_rebuild_gives_the_run_s_tables_byte_for_byte(example, rebuilt, galaxy):
    g = rebuilt[galaxy]
    for text, suffix in ((g.mag_text, ".MAG.out"), (g.spc_text, ".SPC.out"), (g.mag_ecsv, ".mag.ecsv"),
                         (g.spc_ecsv, ".spc.ecsv")):
        assert text == (example / "galaxies" / (galaxy + suffix)).read_text(), suffix
    assert g.ok and g.log == "" and g.console.startswith(f"    ... arq_synt: galaxies/{galaxy}\n")


@pytest.mark.parametrize("galaxy", GALAXIES)
def test_rebuilt_arrays_and_masses_are_those_of_the_tables(tables, rebuilt, galaxy):
    g, (mag, spc) = rebuilt[galaxy], tables[galaxy]
    for attr, name in SPC:
        values = getattr(g, attr)
        assert same(values, column(spc, name)[: values.size]) and np.isnan(column(spc, name)[values.size:]).all()
    for c, slot in enumerate(("obs", "tot", "young", "old")):
        want = np.stack([column(mag, f"m_{slot}_{s}") for s in veltrane.SYSTEMS], axis=1)
        assert same(np.where(g.magnitudes[c] == -999.0, np.nan, g.magnitudes[c]), want)
    for key, value in g.log_mass.items():
        meta = mag.meta[f"log_mass_{key}"]
        assert (value == -999.0) if meta is None else same(value, meta["value"])
    assert same(g.filters.magnitudes(g.wave, g.total, missing="sentinel"), g.magnitudes[1])
    assert same(veltrane.red_term(g.wave, law=g.fit.law, lambda_norm=g.fit.lambda_norm), g.red_term)
    assert same(g.magnitude("old", "AB"), g.magnitudes[3, :, 2])


def test_mag_out_masses_and_spectra_read_back(example, tables, rebuilt):
    t = veltrane.read_mag(example / "galaxies" / "gal01.MAG.out")
    assert list(t["filter"]) == [n[:10] for n in rebuilt["gal01"].names]
    for key, value in rebuilt["gal01"].log_mass.items():
        assert abs(t[f"log_mass_{key}"][0] - value) <= 5e-5 * abs(value)
    np.testing.assert_allclose(t["m_obs"], column(tables["gal01"][0], "m_obs_vega"), rtol=5e-5)
    spc = veltrane.read_spc(example / "galaxies" / "gal03.SPC.out")
    g = rebuilt["gal03"]
    n = min(len(spc), g.ext_wave.size)  # the table stops at the base grid's length
    assert same(spc["flux_total"], g.total) and same(spc["lambda_ext"][:n], g.ext_wave[:n])
    assert veltrane.read_ecsv(example / "galaxies" / "gal03.mag.ecsv").meta["galaxy"] == "gal03"


def test_dereddened_observation_equals_the_run_s(example, tmp_path):
    work = tmp_path / "ext"
    shutil.copytree(example, work)
    (work / "out").mkdir()
    args = ["gal02", "120", "galaxies/", "base/", "filters/", "1.0", "1.0E-17", "1", "2", "0"]
    assert run_veltrane(work, "--output-dir", "out/", *args)[0] == 0
    g = veltrane.rebuild(work / "galaxies" / "gal02", work / "base", work / "filters", t_cut_gyr=1.0,
                         phyunits=1.0e-17, ext_corr=1, distance=120.0)
    assert g.spc_text == (work / "out" / "gal02.SPC.out").read_text()
    assert g.mag_text == (work / "out" / "gal02.MAG.out").read_text()
    f = g.fit
    assert same(veltrane.deredden(f.wave, f.flux, f.a_v, law=f.law, lambda_norm=f.lambda_norm, grid=g.wave), g.obs_flux)
    assert not same(f.flux, g.obs_flux) and f.a_v > 0
    read = veltrane.read_fit(work / "galaxies" / "gal02", phyunits=1.0e-17)
    assert same(read.flux, f.flux) and read.population["m3"].sum(dtype=np.float32) == pytest.approx(read.m3_sum)


def test_a_galaxy_that_fails_warns_and_keeps_what_it_computed(example, tmp_path, monkeypatch):
    work = tmp_path / "broken"
    shutil.copytree(example, work)
    # λ_norm beyond the base grid but within the law: a failure on the console only, which the
    # end-of-model report closes; an unknown law is warned about on standard error.
    fit = re.sub(r"^\S+(\s+\[l_norm )", r"28000.0\1", (work / "galaxies" / "gal04").read_text(), flags=re.M)
    (work / "galaxies" / "broken").write_text(re.sub(r"^\S+(\s+\[red_law_option\])", r"XYZ\1", fit, flags=re.M))
    args = ["broken", "60", "galaxies/", "base/", "filters/", "1.0", "1.0E-17", "0", "2", "0"]
    run = subprocess.run([os.environ["VELTRANE_BINARY"], *args], cwd=work, capture_output=True, text=True)
    assert run.returncode == 0 and "extinction law 'XYZ'" in run.stderr
    with pytest.warns(veltrane.GalaxyWarning, match="galaxy broken failed"):
        monkeypatch.chdir(work)  # the paths the run names in its warnings
        g = veltrane.rebuild("galaxies/broken", "base", "filters", t_cut_gyr=1.0, phyunits=1.0e-17, distance=60.0,
                             missing="sentinel")
    assert not g.ok and g.mag_text == (work / "galaxies" / "broken.MAG.out").read_text()
    dated = lambda text: re.sub(r"VESK - .*", "VESK -", text)  # noqa: E731
    assert dated(g.log) == dated((work / "galaxies" / "broken.LOG").read_text()) and "IsKeepOn === 0" in g.log
    assert "[StatsReNorm] λ is out of range" in g.console and g.warnings == run.stderr.splitlines(keepends=True)[0]


def test_runs_that_stop_and_inputs_that_cannot_be_read(example, tmp_path):
    work = tmp_path / "stop"
    shutil.copytree(example, work)
    next(iter((work / "base").glob("ssp_00400Myr*"))).unlink()
    with pytest.raises(veltrane.RunStopError, match="stops the run") as stop:
        veltrane.rebuild(work / "galaxies" / "gal01", work / "base", work / "filters", **PARAMETERS)
    assert "[ReadTextBAS] arq_file> does not exist" in stop.value.console
    with pytest.raises(veltrane.InputFileError, match="cannot read the synthesis result") as missing:
        veltrane.rebuild(work / "galaxies" / "nothing", work / "base", work / "filters", **PARAMETERS)
    assert "arq_synt> does not exist" in missing.value.console
    with pytest.raises(ValueError, match="blank"):
        veltrane.rebuild(work / "galaxies" / "gal01", "my base/", work / "filters", **PARAMETERS)
    (work / "bad.in").write_text("2\ngalaxies/\nbase/\nfilters/\n1.0\n1.0E-17\n0\n2\n0\ngal01 45\n")
    with pytest.raises(veltrane.InputFileError, match="galaxy record 2 of 2"):
        veltrane.read_grid(work / "bad.in")
    with pytest.raises(veltrane.InputFileError):
        veltrane.read_fit(work / "nothing")


def test_the_example_script_runs_and_draws_its_figure(tmp_path):
    pytest.importorskip("matplotlib")
    script = os.path.join(os.environ["VELTRANE_SOURCE"], "examples", "python", "veltrane_example.py")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    r = subprocess.run([sys.executable, script, "-o", str(tmp_path / "gal01.png")], env=env, capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    assert "gal01: log M* = 9.917" in r.stdout and (tmp_path / "gal01.png").stat().st_size > 10000
