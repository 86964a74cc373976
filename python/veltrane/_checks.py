"""What a magnitude cannot be trusted for, told as warnings: a spectrum that covers a filter only
in part, NaN fluxes inside a filter, and samples too far apart for the filter's width. The
numbers themselves are never changed here (they stay those of the command line's tables),
except where the caller asks for a minimum covered fraction.

Everything that depends on the wavelength grid alone is worked out once per grid (the last few
grids are kept); the NaN check looks at the fluxes only for the (spectrum, filter) pairs whose
positive fraction falls short of the covered one, which is where a NaN can be.
"""

from __future__ import annotations

import threading
import warnings
from typing import Any, NamedTuple

import numpy as np

from ._errors import CoverageWarning, SamplingWarning

#: A filter is sampled too coarsely when a spectrum interval that meets it is wider than this
#: part of its equivalent width ∫T dλ / max T. Measured (bench/python/bench_sampling.py) on
#: blackbodies and power laws on even grids through the survey workload's 30 filters and the
#: example's 10, against a float64 trapezoid on the filters' own samples: up to 0.006 mag below
#: 0.15 of the width, 0.015 mag up to 0.2, 0.09 mag up to 0.3, and whole magnitudes beyond 0.5.
COARSE_SPACING = 0.15

#: A filter is covered only in part when the spectrum's range holds less than this part of its
#: area ∫T dλ: the flux outside is missing, and a flat spectrum's magnitude comes out too faint
#: by more than 0.001 mag.
MIN_COVERED = 0.999

_LISTED = 8  # filters named in one warning; the rest are counted


class Bands(NamedTuple):
    """The geometry of every filter curve (float64, NaN for a filter without samples): its
    ends, the range where its transmission is positive (T is linear between samples), its
    equivalent width, and the curves for the partial areas."""

    lo: np.ndarray
    hi: np.ndarray
    support_lo: np.ndarray
    support_hi: np.ndarray
    width: np.ndarray
    curves: tuple[tuple[np.ndarray, np.ndarray], ...]


class GridReport(NamedTuple):
    """What a wavelength grid does to each filter: the covered part of its area (1 for full
    coverage, NaN without overlap), the largest spacing of the spectrum across it (Å, NaN
    without overlap), and the index range of the grid's samples where its transmission is
    positive."""

    covered: np.ndarray
    spacing: np.ndarray
    inside: tuple[tuple[int, int], ...]


def bands(curves: list[tuple[np.ndarray, np.ndarray]]) -> Bands:
    """The Bands of the curves (wavelengths in Å, transmission) in list order."""
    cols: list[list[float]] = [[], [], [], [], []]
    kept = []
    for lam32, t32 in curves:
        lam, t = lam32.astype(np.float64), t32.astype(np.float64)
        kept.append((lam, t))
        pos = np.flatnonzero(t > 0.0)
        if lam.size < 2 or pos.size == 0:
            for c in cols:
                c.append(np.nan)
            continue
        j0, j1 = max(pos[0] - 1, 0), min(pos[-1] + 1, lam.size - 1)
        values = (lam[0], lam[-1], lam[j0], lam[j1], np.trapz(np.clip(t, 0.0, None), lam) / t.max())
        for c, v in zip(cols, values):
            c.append(float(v))
    lo, hi, s_lo, s_hi, width = (np.array(c, dtype=np.float64) for c in cols)
    return Bands(lo, hi, s_lo, s_hi, width, tuple(kept))


def _area_up_to(lam: np.ndarray, t: np.ndarray, x: float) -> float:
    """∫T dλ from the curve's start to x, T linear between samples and clipped at 0."""
    t = np.clip(t, 0.0, None)
    k = int(np.searchsorted(lam, x, side="right")) - 1
    if k < 0:
        return 0.0
    if k >= lam.size - 1:
        return float(np.trapz(t, lam))
    tx = t[k] + (t[k + 1] - t[k]) * (x - lam[k]) / (lam[k + 1] - lam[k])
    return float(np.trapz(t[:k + 1], lam[:k + 1]) + 0.5 * (t[k] + tx) * (x - lam[k]))


def grid_report(b: Bands, wave: np.ndarray) -> GridReport:
    """The GridReport of the grid `wave` (Å, increasing) for the filters `b`."""
    w = wave.astype(np.float64)
    w0, w1 = w[0], w[-1]
    overlap = (b.lo < w1) & (w0 < b.hi)
    covered = np.where(overlap, 1.0, np.nan)
    for i in np.flatnonzero(overlap & ((w0 > b.support_lo) | (w1 < b.support_hi))):
        lam, t = b.curves[i]
        total = _area_up_to(lam, t, lam[-1])
        covered[i] = (_area_up_to(lam, t, w1) - _area_up_to(lam, t, w0)) / total if total > 0 else np.nan
    spacing = np.full(b.lo.size, np.nan)
    first = np.searchsorted(w, b.lo, side="right") - 1
    last = np.searchsorted(w, b.hi, side="left")
    for i in np.flatnonzero(overlap):
        k0, k1 = max(int(first[i]), 0), min(int(last[i]), w.size - 1)
        spacing[i] = np.diff(w[k0:k1 + 1]).max() if k1 > k0 else np.nan
    inside = tuple((int(a), int(z)) for a, z in zip(np.searchsorted(w, b.support_lo, side="right"),
                                                     np.searchsorted(w, b.support_hi, side="left")))
    return GridReport(covered, spacing, inside)


class ReportCache:
    """The reports of the last few grids of one filter set, keyed by the grid's bytes."""

    def __init__(self, b: Bands) -> None:
        self.bands = b
        self._reports: dict[bytes, GridReport] = {}
        self._lock = threading.Lock()

    def report(self, wave: np.ndarray) -> GridReport:
        key = np.ascontiguousarray(wave, dtype=np.float32).tobytes()
        with self._lock:
            found = self._reports.get(key)
        if found is None:
            found = grid_report(self.bands, wave)
            with self._lock:
                if len(self._reports) >= 8:
                    self._reports.pop(next(iter(self._reports)))
                self._reports[key] = found
        return found


def _listed(names: np.ndarray, notes: list[str]) -> str:
    shown = [f"{n} ({note})" for n, note in zip(names[:_LISTED], notes[:_LISTED])]
    more = len(names) - _LISTED
    return ", ".join(shown) + (f" and {more} more" if more > 0 else "")


def warn_grid(report: GridReport, b: Bands, names: np.ndarray, stacklevel: int) -> None:
    """CoverageWarning for filters covered only in part (below MIN_COVERED), SamplingWarning for
    filters sampled too coarsely (beyond COARSE_SPACING): both depend on the grid only."""
    part = np.flatnonzero(report.covered < MIN_COVERED)
    if part.size:
        notes = [f"{100 * report.covered[i]:.1f} % of its area covered" for i in part]
        warnings.warn(f"the spectrum covers only part of {_listed(names[part], notes)}: a magnitude misses the flux "
                      "outside the spectrum and comes out too faint (FilterSet.coverage() gives the covered parts; "
                      "min_coverage= makes such magnitudes NaN)", CoverageWarning, stacklevel=stacklevel + 1)
    coarse = np.flatnonzero(report.spacing > COARSE_SPACING * b.width)
    if coarse.size:
        notes = [f"{report.spacing[i]:.0f} Å apart for a width of {b.width[i]:.0f} Å" for i in coarse]
        warnings.warn(f"the spectrum samples {_listed(names[coarse], notes)} too coarsely for a magnitude to be more "
                      f"than a convention: beyond {COARSE_SPACING} of a filter's equivalent width it depends on where "
                      "the samples fall (by 0.01 mag and more on smooth spectra); use a finer grid",
                      SamplingWarning, stacklevel=stacklevel + 1)


def nan_inside(report: GridReport, flux: np.ndarray, covered: np.ndarray, positive: np.ndarray) -> np.ndarray:
    """(N, F) True where spectrum r has a NaN flux where filter i transmits. Only the pairs
    whose positive fraction falls short of the covered one are looked at: elsewhere every
    sample inside the filter has a positive flux."""
    rows = flux.reshape(-1, flux.shape[-1])
    found = np.zeros(covered.shape, dtype=bool)
    for i in np.flatnonzero((positive < covered).any(axis=0)):
        k0, k1 = report.inside[i]
        if k1 <= k0:
            continue
        r = np.flatnonzero(positive[:, i] < covered[:, i])
        found[r, i] = np.isnan(rows[r, k0:k1]).any(axis=1)
    return found


def warn_nan(found: np.ndarray, names: np.ndarray, stacklevel: int) -> None:
    """CoverageWarning for NaN fluxes inside filters (found: (N, F) from nan_inside)."""
    per_filter = found.sum(axis=0)
    hit = np.flatnonzero(per_filter)
    if hit.size:
        n = found.shape[0]
        notes = [f"{per_filter[i]} of {n} spectra" if n > 1 else "NaN inside" for i in hit]
        warnings.warn(f"NaN fluxes inside {_listed(names[hit], notes)}: a NaN counts as no flux, so those "
                      "magnitudes come out too faint (FilterSet.coverage() gives the part of each filter with "
                      "positive flux; min_coverage= makes such magnitudes NaN)", CoverageWarning,
                      stacklevel=stacklevel + 1)


def min_coverage_value(value: Any) -> float | None:
    """min_coverage as given: None, or a number from 0 to 1."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"min_coverage must be a number from 0 to 1 or None, not {type(value).__name__}")
    if not 0.0 <= float(value) <= 1.0:
        raise ValueError(f"min_coverage must be from 0 to 1, not {value}")
    return float(value)
