"""Calibrated synthetic photometry: a filter set read and calibrated as the command line does,
and the flux, coverage and magnitudes of spectra through it in seven photometric systems.

Units: wavelengths in Å; spectra F_λ per Å (erg s⁻¹ cm⁻² Å⁻¹ for calibrated magnitudes);
magnitudes in mag. Results are float32, the precision of the command line's tables.

Examples
--------
>>> import numpy as np
>>> from veltrane.photometry import FilterSet
>>> fs = FilterSet("examples/filters/")
>>> wave = np.linspace(2000.0, 12000.0, 5001)                # Å
>>> flux = 3631e-23 * 2.99792458e18 / wave**2                # 3631 Jy as F_λ, erg s⁻¹ cm⁻² Å⁻¹
>>> print(np.round(fs.magnitudes(wave, flux, system="ab")[:4], 3) + 0.0)
[0. 0. 0. 0.]
"""

from __future__ import annotations

import hashlib
import os
import warnings
from typing import Any

import numpy as np

from . import _arrays, _checks, _core
from ._errors import FilterWarning
from ._systems import SYSTEMS, TABLE_SYSTEM_NAMES, Photometry, system_index


def _read_only(a: np.ndarray) -> np.ndarray:
    a.flags.writeable = False
    return a


class FilterSet:
    """A filter directory read and calibrated on Vega, the Sun and BD+17d4708 exactly as a
    command-line run does. Immutable: its attributes are read-only, its arrays too, and one
    filter set may be used from several threads at once.

    The directory holds ``ListFilters.txt`` (the count, then one file name per record), the
    filter files (15 header records, then wavelength in Å and transmission per record) and
    the standard spectra ``VegaLR.dat``, ``Sun_LR.dat`` and ``BD+17d4708.dat``.

    Parameters
    ----------
    directory : str or os.PathLike
        The filter directory (a final "/" is added when missing; no blank).
    weighting : {"energy", "photon"}
        "energy" (the default, and the command line's) takes every mean over the curve as
        given: <F> = ∫F_λ T dλ / ∫T dλ, the convention of energy-counting responses. "photon"
        is for photon-counting (CCD) responses: every curve is taken as T·λ, and the
        calibration on Vega, BD+17d4708 and AB is redone in that convention, so every mean
        becomes the photon-weighted ∫F_λ T λ dλ / ∫T λ dλ (synphot's convention).

    Attributes
    ----------
    names : numpy.ndarray of str
        The filter file names, in list order. Every array attribute holds one value per
        filter in that order, NaN where the tables write -999.0, and is read-only.
    lambda_eff : numpy.ndarray
        Effective wavelength, Å: ∫λT dλ / ∫T dλ (photon weighting: ∫λ²T dλ / ∫λT dλ).
    areas : numpy.ndarray
        ∫T dλ, Å (photon weighting: ∫Tλ dλ, Å²).
    nu_areas : numpy.ndarray
        ∫T c/λ² dλ, Hz (photon weighting: c ∫T/λ dλ).
    vega_fluxes : numpy.ndarray
        ∫F_Vega T dλ, erg s⁻¹ cm⁻².
    ab_of_vega : numpy.ndarray
        The AB magnitude of Vega, mag.
    tg_of_vega : numpy.ndarray
        Vega's magnitude when BD+17d4708 has 9.5, mag (NaN where BD+17d4708 does not reach).
    zero_points : numpy.ndarray
        (F, 7): the zero point Z_k of every system, mag; a magnitude is Z_k − 2.5 log10(flux).
    samples : numpy.ndarray
        Samples per curve.
    systems : numpy.ndarray of str
        `SYSTEMS`.
    directory : str
        The directory, ending in "/".
    weighting : str
        "energy" or "photon".

    Raises
    ------
    FilterSetError
        For a missing or damaged file, naming the file and the record (``.path``,
        ``.record``), and for a curve whose wavelengths do not increase strictly.
    ValueError
        For a directory holding a blank, or another weighting.

    Warns
    -----
    FilterWarning
        For a filter without any sample, whose values are all NaN.

    Examples
    --------
    >>> from veltrane import FilterSet
    >>> fs = FilterSet("examples/filters/")
    >>> len(fs), fs.names[7], round(float(fs.lambda_eff[7]), 1)
    (10, 'SDSS_r.dat', 6201.4)
    >>> fs.names = None
    Traceback (most recent call last):
    AttributeError: ...
    """

    __slots__ = ("_core", "_values", "_reports", "_print", "__weakref__")

    def __init__(self, directory: str | os.PathLike[str], *, weighting: str = "energy") -> None:
        if weighting not in ("energy", "photon"):
            raise ValueError(f"weighting must be 'energy' or 'photon', not {weighting!r}")
        self._init(_core.FilterSet(_arrays.directory(directory, "the filter directory"), weighting))

    @classmethod
    def _from_core(cls, core: Any) -> FilterSet:
        self = cls.__new__(cls)
        self._init(core)
        return self

    def _init(self, core: Any) -> None:
        self._core = core
        a = core.arrays()
        nan = float("nan")
        self._values: dict[str, np.ndarray] = {
            key: _read_only(value) for key, value in (
                ("names", np.array(a["names"], dtype=str)), ("samples", np.array(a["samples"], dtype=np.int32)),
                ("lambda_eff", _arrays.shown(a["lambda_eff"], nan)), ("areas", _arrays.shown(a["area"], nan)),
                ("nu_areas", _arrays.shown(a["nu_area"], nan)), ("vega_fluxes", _arrays.shown(a["vega_flux"], nan)),
                ("ab_of_vega", _arrays.shown(a["ab_vega"], nan)), ("tg_of_vega", _arrays.shown(a["tg_vega"], nan)),
                ("zero_points", _arrays.shown(a["zero_points"], nan)), ("systems", np.array(SYSTEMS)))}
        self._reports = _checks.ReportCache(_checks.bands([core.curve(i) for i in range(core.size)]))
        self._print: str | None = None
        for name in self.names[self.samples < 1]:
            warnings.warn(f"filter {name} has no sample: its values are all missing", FilterWarning, stacklevel=3)

    names = property(lambda self: self._values["names"], doc="The filter file names, in list order.")
    samples = property(lambda self: self._values["samples"], doc="Samples per curve.")
    lambda_eff = property(lambda self: self._values["lambda_eff"], doc="Effective wavelength per filter, Å.")
    areas = property(lambda self: self._values["areas"], doc="∫T dλ per filter, Å (photon: ∫Tλ dλ, Å²).")
    nu_areas = property(lambda self: self._values["nu_areas"], doc="∫T c/λ² dλ per filter, Hz (photon: c∫T/λ dλ).")
    vega_fluxes = property(lambda self: self._values["vega_fluxes"], doc="∫F_Vega T dλ per filter.")
    ab_of_vega = property(lambda self: self._values["ab_of_vega"], doc="The AB magnitude of Vega per filter, mag.")
    tg_of_vega = property(lambda self: self._values["tg_of_vega"], doc="Vega's magnitude when BD+17d4708 has 9.5.")
    zero_points = property(lambda self: self._values["zero_points"], doc="(F, 7): the zero points Z_k, mag.")
    systems = property(lambda self: self._values["systems"], doc="The photometric systems, SYSTEMS.")
    directory = property(lambda self: self._core.directory, doc="The filter directory, ending in '/'.")
    weighting = property(lambda self: self._core.weighting, doc="'energy' or 'photon'.")

    def __len__(self) -> int:
        return len(self.names)

    def __repr__(self) -> str:
        return f"FilterSet({self.directory!r}, weighting={self.weighting!r}: {len(self)} filters)"

    # Pickled by reference (a Dask task, a process pool): the absolute directory, the weighting
    # and a fingerprint of the curves and the calibration; the receiving process loads the set
    # from the files once (_dask.shared_filter_set) and checks it against the fingerprint.
    def __reduce__(self) -> tuple[Any, tuple[str, str, str]]:
        from ._dask import shared_filter_set

        return shared_filter_set, (os.path.abspath(self.directory) + "/", self.weighting, self._fingerprint())

    def __copy__(self) -> FilterSet:
        return self

    def __deepcopy__(self, memo: dict[int, Any]) -> FilterSet:
        return self

    def __dask_tokenize__(self) -> tuple[str, str, str]:
        return ("veltrane.FilterSet", self.weighting, self._fingerprint())

    def _fingerprint(self) -> str:
        if self._print is None:
            h = hashlib.sha256(self.weighting.encode())
            for key in ("names", "samples", "lambda_eff", "areas", "zero_points"):
                h.update(self._values[key].tobytes())
            for lam, t in self._reports.bands.curves:
                h.update(lam.tobytes() + t.tobytes())
            self._print = h.hexdigest()
        return self._print

    def index(self, name: str) -> int:
        """The position of a filter in the list.

        Parameters
        ----------
        name : str
            The filter's file name, as in ``ListFilters.txt``.

        Returns
        -------
        int
            Its position (0-based), the index of its values in every array.

        Raises
        ------
        KeyError
            When no filter has that name.

        Examples
        --------
        >>> from veltrane import FilterSet
        >>> FilterSet("examples/filters/").index("SDSS_r.dat")
        7
        """
        hits = np.flatnonzero(self.names == name)
        if hits.size == 0:
            raise KeyError(f"no filter {name!r} in {self.directory}")
        return int(hits[0])

    def curve(self, filter: int | str) -> tuple[np.ndarray, np.ndarray]:
        """A filter curve as read from its file.

        Parameters
        ----------
        filter : int or str
            The filter's position or its file name.

        Returns
        -------
        wave : numpy.ndarray
            Wavelengths, Å (float32).
        transmission : numpy.ndarray
            The transmission as given (float32), whatever the weighting.

        Raises
        ------
        IndexError, KeyError
            For a position out of range, an unknown name.

        Examples
        --------
        >>> from veltrane import FilterSet
        >>> lam, t = FilterSet("examples/filters/").curve("SDSS_r.dat")
        >>> lam.size, float(lam[0]), float(lam[-1])
        (197, 5250.0, 7210.0)
        """
        i = self.index(filter) if isinstance(filter, str) else int(filter)
        if not 0 <= i < len(self):
            raise IndexError(f"filter {i} out of range (the set has {len(self)})")
        lam, t = self._core.curve(i)
        return lam, t

    def measure(self, wave: Any, flux: Any, *, missing: str = "nan", threads: int = 1,
                min_coverage: float | None = None) -> Photometry:
        """Flux, coverage and magnitudes of one spectrum or a batch, as the command line
        computes them (bit for bit, float32).

        Each flux is the trapezoid integral of F_λ·T over the spectrum's own samples, T
        interpolated linearly onto them, from the filter's first to its last wavelength (see
        docs/python.md, "How the integral is taken"). A NaN or non-positive flux counts as no
        flux, as in a run.

        Parameters
        ----------
        wave : array_like, shape (P,)
            Wavelengths, Å, strictly increasing and finite (an astropy Quantity is converted).
        flux : array_like, shape (P,) or (N, P)
            One spectrum F_λ per Å, or N spectra on that grid, one per row (erg s⁻¹ cm⁻² Å⁻¹
            for calibrated magnitudes; a Quantity in any spectral flux density unit is
            converted). float32 and float64 arrays, C- or Fortran-ordered or strided, are read
            in place; only what the kernels cannot take as it is gets copied, one spectrum (or
            16) at a time per thread.
        missing : {"nan", "sentinel"}
            The value of a flux or magnitude that has none (no overlap, no positive flux, a
            system without a zero point): NaN, or the tables' -999.0.
        threads : int
            Threads to work on (0: every core); the interpreter lock is released meanwhile.
        min_coverage : float, optional
            From 0 to 1: fluxes and magnitudes are missing where the part of the filter's area
            covered with positive flux (``positive``) is below it. Default: no minimum.

        Returns
        -------
        Photometry
            flux (F,) or (N, F); covered and positive (same shapes); magnitudes (F, 7) or
            (N, F, 7), the systems in the order of `SYSTEMS`. All float32.

        Raises
        ------
        ValueError
            For a wrong shape (a batch given transposed: "pass flux.T"), wavelengths that do
            not increase strictly or are not finite, an unknown option.
        TypeError
            For a dtype other than float32 or float64 (native byte order).

        Warns
        -----
        CoverageWarning
            When the spectrum covers a filter only in part, or has NaN fluxes inside it.
        SamplingWarning
            When its samples are too far apart for a filter (beyond 0.15 of its width).

        Examples
        --------
        >>> import numpy as np, veltrane
        >>> fs = veltrane.FilterSet("examples/filters/")
        >>> wave = np.linspace(2000.0, 12000.0, 5001)
        >>> p = fs.measure(wave, np.ones((2, wave.size)))
        >>> p.flux.shape, p.magnitudes.shape, round(float(p.covered[0, 7]), 4)
        ((2, 10), (2, 10, 7), 1.0)
        """
        out = self._photometry(wave, flux, True, True, missing, threads, min_coverage)
        return Photometry(out["flux"], out["covered"], out["positive"], out["magnitudes"])

    def magnitudes(self, wave: Any, flux: Any, system: str | None = None, *, missing: str = "nan",
                   threads: int = 1, min_coverage: float | None = None) -> Any:
        """Magnitudes of one spectrum or a batch, Z_k − 2.5 log10(∫F_λ T dλ), as the command
        line computes them (bit for bit, float32).

        Parameters
        ----------
        wave, flux, missing, threads, min_coverage
            As for `measure`. flux may also be a dask array of shape (N, P): the result is
            then a dask array, computed chunk by chunk of spectra wherever Dask runs them.
        system : str, optional
            A name from `SYSTEMS`: only that system's magnitudes.

        Returns
        -------
        numpy.ndarray or dask.array.Array
            Magnitudes, mag, float32: (F, 7) for one spectrum, (N, F, 7) for N, the systems in
            the order of `SYSTEMS`; with `system`, (F,) or (N, F).

        Raises
        ------
        ValueError, TypeError
            As for `measure`, and for an unknown system.

        Warns
        -----
        CoverageWarning, SamplingWarning
            As for `measure`.

        Examples
        --------
        >>> import numpy as np, veltrane
        >>> fs = veltrane.FilterSet("examples/filters/")
        >>> wave = np.linspace(2000.0, 12000.0, 5001)
        >>> flux = 3631e-23 * 2.99792458e18 / wave**2          # 3631 Jy
        >>> m = fs.magnitudes(wave, np.stack([flux, 100 * flux]), system="ab")
        >>> m.shape
        (2, 10)
        >>> print(np.round(m[:, 7], 3) + 0.0)
        [ 0. -5.]

        A spectrum that covers a filter in part warns and, with ``min_coverage``, gives NaN:

        >>> import warnings
        >>> blue = wave < 5000.0
        >>> with warnings.catch_warnings(record=True) as seen:
        ...     warnings.simplefilter("always")
        ...     m = fs.magnitudes(wave[blue], flux[blue], system="ab", min_coverage=0.9)
        >>> seen[0].category.__name__
        'CoverageWarning'
        >>> print(fs.names[~np.isnan(m)])
        ['John_U.dat' 'John_B.dat' 'SDSS_u.dat']
        """
        k = None if system is None else system_index(system)
        if _is_dask(flux):
            from . import _dask

            return _dask.photometry(self, wave, flux, "magnitudes", k, missing, threads, min_coverage)
        m = self._photometry(wave, flux, False, False, missing, threads, min_coverage)["magnitudes"]
        return m if k is None else np.ascontiguousarray(m[..., k])

    def fluxes(self, wave: Any, flux: Any, *, missing: str = "nan", threads: int = 1,
               min_coverage: float | None = None) -> Any:
        """The flux through each filter, ∫F_λ T dλ over the samples of positive flux.

        Parameters
        ----------
        wave, flux, missing, threads, min_coverage
            As for `measure` (flux may be a dask array, as for `magnitudes`).

        Returns
        -------
        numpy.ndarray or dask.array.Array
            (F,) or (N, F), float32: erg s⁻¹ cm⁻² for F_λ in erg s⁻¹ cm⁻² Å⁻¹, not divided by
            the filter's area (divide by `areas` for the mean F_λ); missing where spectrum and
            filter do not overlap.

        Raises
        ------
        ValueError, TypeError
            As for `measure`.

        Warns
        -----
        CoverageWarning, SamplingWarning
            As for `measure`.

        Examples
        --------
        >>> import numpy as np, veltrane
        >>> fs = veltrane.FilterSet("examples/filters/")
        >>> wave = np.linspace(2000.0, 12000.0, 5001)
        >>> mean = fs.fluxes(wave, np.full(wave.size, 2.0)) / fs.areas    # ⟨F_λ⟩ per filter
        >>> print(np.round(mean[5:8], 4))
        [2. 2. 2.]
        """
        if _is_dask(flux):
            from . import _dask

            return _dask.photometry(self, wave, flux, "flux", None, missing, threads, min_coverage)
        return self._photometry(wave, flux, True, False, missing, threads, min_coverage)["flux"]

    def coverage(self, wave: Any, flux: Any, *, threads: int = 1) -> tuple[np.ndarray, np.ndarray]:
        """How much of each filter a spectrum covers. Never warns: this is where to look.

        Parameters
        ----------
        wave, flux, threads
            As for `measure`.

        Returns
        -------
        covered : numpy.ndarray
            (F,) or (N, F): the part of each filter's area covered by the spectrum (0 to 1; 0
            without overlap), integrated on the spectrum's samples as the flux is.
        positive : numpy.ndarray
            The part covered where the flux is positive (a NaN or non-positive flux is not).

        Raises
        ------
        ValueError, TypeError
            As for `measure`.

        Examples
        --------
        >>> import numpy as np, veltrane
        >>> fs = veltrane.FilterSet("examples/filters/")
        >>> wave = np.linspace(3000.0, 6300.0, 3301)            # Å, 1 Å apart
        >>> flux = np.ones(wave.size)
        >>> flux[2500:2600] = np.nan                              # 5500-5599 Å
        >>> covered, positive = fs.coverage(wave, flux)
        >>> print(fs.names[[2, 7]], np.round(covered[[2, 7]], 3), np.round(positive[[2, 7]], 3))
        ['John_V.dat' 'SDSS_r.dat'] [0.995 0.577] [0.887 0.539]
        """
        core = self._measure(wave, flux, False, True, False, "nan", threads)
        return core["covered"], core["positive"]

    def _photometry(self, wave: Any, flux: Any, want_flux: bool, want_fractions: bool, missing: str,
                    threads: int, min_coverage: float | None, stacklevel: int = 3) -> dict[str, np.ndarray]:
        """The measurement behind measure(), magnitudes() and fluxes(): the kernels' numbers,
        the warnings (pointing `stacklevel` frames up from here), and min_coverage applied;
        one spectrum's results without the batch axis."""
        least = _checks.min_coverage_value(min_coverage)
        w = _arrays.wavelengths(wave)
        f = _arrays.fluxes(flux, np.asarray(w, dtype=np.float64) if _arrays._is_quantity(flux) else w)
        miss = _arrays.missing_value(missing)
        out = self._core.measure(w, f, want_flux, True, True, miss, _arrays.thread_count(threads), False)
        report = self._reports.report(np.asarray(w))
        _checks.warn_grid(report, self._reports.bands, self.names, stacklevel)
        found = _checks.nan_inside(report, f, out["covered"], out["positive"])
        _checks.warn_nan(found, self.names, stacklevel)
        if least is not None:
            low = out["positive"] < least
            out["magnitudes"][low] = miss
            if want_flux:
                out["flux"][low] = miss
        if not want_fractions:
            del out["covered"], out["positive"]
        return {key: (v[0] if f.ndim == 1 else v) for key, v in out.items()}

    def _measure(self, wave: Any, flux: Any, want_flux: bool, want_fractions: bool, want_mags: bool,
                 missing: str, threads: int, literal: bool = False) -> dict[str, np.ndarray]:
        """The kernels' numbers alone (literal: through the command line's unoptimised
        routines, the reference of the fast path)."""
        w = _arrays.wavelengths(wave)
        f = _arrays.fluxes(flux, np.asarray(w, dtype=np.float64) if _arrays._is_quantity(flux) else w)
        one = isinstance(f, np.ndarray) and f.ndim == 1
        out = self._core.measure(w, f, want_flux, want_fractions, want_mags, _arrays.missing_value(missing),
                                 _arrays.thread_count(threads), literal)
        return {key: (v[0] if one else v) for key, v in out.items()}


def _is_dask(x: Any) -> bool:
    return hasattr(x, "__dask_graph__") and hasattr(x, "chunks")


__all__ = ["SYSTEMS", "TABLE_SYSTEM_NAMES", "Photometry", "FilterSet", "system_index"]
