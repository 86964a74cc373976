"""Photometry of a dask array of spectra: one task per chunk of spectra, wherever Dask runs it
(threads, processes, a dask.distributed cluster).

The graph holds the filter set and the wavelength grid once, in one key that every task
refers to. A FilterSet pickles by reference (its directory, weighting and a fingerprint of its
calibration), so a worker process receives a few hundred bytes and loads the set from its
files once, then shares it between its tasks; the files must be readable there (a shared file
system on a cluster), and a set that calibrates differently there raises FilterSetError.
Each task runs the same kernels on the same rows as an in-process call: the results are equal
bit for bit.
"""

from __future__ import annotations

import hashlib
import threading
from typing import Any

import numpy as np

from . import _arrays
from ._errors import FilterSetError

# Filter sets unpickled in this process (a Dask worker's), by directory and weighting: each is
# loaded from its files once and shared by every task.
_SHARED: dict[tuple[str, str], Any] = {}
_SHARED_LOCK = threading.Lock()


def shared_filter_set(directory: str, weighting: str, fingerprint: str) -> Any:
    """The FilterSet of `directory` loaded once per process (what a pickled one becomes); it
    must hold the curves and calibration that were pickled (`fingerprint`), else
    FilterSetError."""
    from .photometry import FilterSet

    with _SHARED_LOCK:
        fs = _SHARED.get((directory, weighting))
        if fs is None or fs._fingerprint() != fingerprint:
            fs = FilterSet(directory, weighting=weighting)
            if fs._fingerprint() != fingerprint:
                error = FilterSetError(f"the filter set in {directory!r} here differs from the one that was sent "
                                       "(other files, or changed files): its calibration does not match")
                error.path = directory
                raise error
            _SHARED[(directory, weighting)] = fs
    return fs


class _Task:
    """What every chunk needs, sent once: the filter set, the grid and the options."""

    def __init__(self, filters: Any, wave: np.ndarray, what: str, system: int | None, missing: str, threads: int,
                 min_coverage: float | None) -> None:
        self.filters, self.wave, self.what, self.system = filters, wave, what, system
        self.missing, self.threads, self.min_coverage = missing, threads, min_coverage

    def __dask_tokenize__(self) -> tuple[Any, ...]:
        return (self.filters.__dask_tokenize__(), hashlib.sha256(self.wave.tobytes()).hexdigest(), self.what,
                self.system, self.missing, self.threads, self.min_coverage)

    def __call__(self, block: np.ndarray) -> np.ndarray:
        out = self.filters._photometry(self.wave, block, self.what == "flux", False, self.missing, self.threads,
                                       self.min_coverage)[self.what]
        return out if self.system is None else np.ascontiguousarray(out[..., self.system])


def _chunk(block: np.ndarray, task: _Task) -> np.ndarray:
    return task(block)


def photometry(filters: Any, wave: Any, flux: Any, what: str, system: int | None, missing: str, threads: int,
               min_coverage: float | None) -> Any:
    """flux: a dask array (N, P); the magnitudes ("magnitudes") or fluxes ("flux") as a dask
    array with flux's chunks of spectra. The grid's warnings (partial coverage, coarse
    sampling) are given here, at once; NaN fluxes are seen where the chunks are computed."""
    import dask
    import dask.array as da

    if flux.ndim != 2:
        raise ValueError(f"a dask array of spectra must have two dimensions (N, points), not {flux.ndim}")
    w = np.array(_arrays.wavelengths(wave))
    if w.ndim != 1 or w.shape[0] != flux.shape[1]:
        raise ValueError(f"flux has {flux.shape[1]} points per spectrum but wave has {w.shape[0] if w.ndim else 0}")
    _arrays.missing_value(missing)
    _arrays.thread_count(threads)
    filters._photometry(w, np.zeros((0, w.size), dtype=np.float32), False, False, missing, 1, min_coverage,
                        stacklevel=4)
    if flux.dtype not in (np.float32, np.float64):
        raise TypeError(f"flux must hold float32 or float64 values, not {flux.dtype}")
    task = dask.delayed(_Task(filters, w, what, system, missing, threads, min_coverage), pure=True)
    rows = flux.rechunk({1: -1})
    f = len(filters)
    if what == "flux" or system is not None:
        return da.map_blocks(_chunk, rows, task, chunks=(rows.chunks[0], (f,)), meta=np.empty((0, 0), np.float32))
    return da.map_blocks(_chunk, rows, task, chunks=(rows.chunks[0], (f,), (7,)), new_axis=2,
                         meta=np.empty((0, 0, 0), np.float32))
