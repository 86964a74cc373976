"""The Dask route: magnitudes and fluxes of a dask array of spectra, on Dask's threads and on a
dask.distributed LocalCluster of two worker processes, equal bit for bit to the in-process
results; the filter set sent by reference and loaded once per worker."""

import os
import pickle
import warnings

import numpy as np
import pytest
from conftest import SOURCE

import veltrane

da = pytest.importorskip("dask.array")
FILTERS = os.path.join(SOURCE, "examples", "filters")


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


@pytest.fixture(scope="module")
def batch():
    """A filter set, a grid and 2,000 noisy spectra (NaN in one, float64 in a Fortran copy)."""
    rng = np.random.default_rng(11)
    wave = np.linspace(2000.0, 12000.0, 1500)
    flux = rng.uniform(0.05, 1.0, size=(2000, wave.size)).astype(np.float32)
    flux[5, 700:720] = np.nan
    return veltrane.FilterSet(FILTERS), wave, flux


def quietly(call, *args, **kw):
    """call(*args, **kw) without the CoverageWarning of the NaN in spectrum 5."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", veltrane.CoverageWarning)
        return call(*args, **kw)


# (case, method, its keywords)
CALLS = [("all systems", "magnitudes", {}), ("one system", "magnitudes", {"system": "ab"}), ("fluxes", "fluxes", {}),
         ("min_coverage and sentinel", "magnitudes", {"min_coverage": 0.999, "missing": "sentinel"})]


@pytest.mark.parametrize("case, method, kw", CALLS, ids=[c[0] for c in CALLS])
def test_dask_threads_give_the_in_process_results_bit_for_bit(batch, case, method, kw):
    fs, wave, flux = batch
    chunks = da.from_array(flux.astype(np.float64), chunks=(300, 500))  # points in three chunks: rechunked
    result = quietly(getattr(fs, method), wave, chunks, **kw)
    assert isinstance(result, da.Array) and result.dtype == np.float32
    assert result.chunks[0] == chunks.chunks[0]
    got = quietly(result.compute, scheduler="threads")
    assert np.array_equal(bits(got), bits(quietly(getattr(fs, method), wave, flux, **kw)))


def test_a_two_worker_local_cluster_gives_the_in_process_results_bit_for_bit(batch):
    distributed = pytest.importorskip("dask.distributed")
    fs, wave, flux = batch
    want = quietly(fs.magnitudes, wave, flux)
    lazy = fs.magnitudes(wave, da.from_array(flux, chunks=(250, -1)))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        got = quietly(lazy.compute)
        loaded = client.run(lambda: sorted(__import__("veltrane")._dask._SHARED))
        tasks = client.run(lambda dask_worker: len(dask_worker.log) > 0)
    assert np.array_equal(bits(got), bits(want))
    assert len(loaded) == 2 and all(v == [(os.path.abspath(FILTERS) + "/", "energy")] for v in loaded.values())
    assert all(tasks.values())  # both workers did work


def test_the_graph_holds_the_filter_set_once_and_by_reference(batch):
    fs, wave, flux = batch
    lazy = fs.magnitudes(wave, da.from_array(flux, chunks=(100, -1)))
    graph = dict(lazy.__dask_graph__())
    held = [v for v in graph.values() if hasattr(v, "filters")]
    assert len(held) == 1 and held[0].filters is fs and len(pickle.dumps(held[0])) < 40000  # the grid, no curve


def test_the_grid_s_warnings_come_at_once_and_errors_before_any_work(batch):
    fs, wave, flux = batch
    lazy = da.from_array(flux[:, :700], chunks=(500, -1))  # 2000-6660 Å: the red filters in part
    with pytest.warns(veltrane.CoverageWarning, match="SDSS_i.dat") as seen:
        fs.magnitudes(wave[:700], lazy)
    assert seen[0].filename == __file__
    with pytest.raises(ValueError, match="400 points per spectrum but wave has 700"):
        fs.magnitudes(wave[:700], da.from_array(flux[:, :400]))
    with pytest.raises(ValueError, match="two dimensions"):
        fs.magnitudes(wave, da.from_array(flux[0]))
    with pytest.raises(ValueError, match="unknown photometric system"):
        fs.magnitudes(wave, da.from_array(flux), system="st")
    with pytest.raises(TypeError, match="float32 or float64"):
        fs.magnitudes(wave, da.ones(flux.shape, dtype=np.int32))
