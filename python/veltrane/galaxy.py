"""One galaxy rebuilt from its synthesis result and its SSP base exactly as a command-line run
rebuilds it: the total, young and old model spectra, the cleaned and extended observation,
the magnitudes and the stellar masses. Nothing is written to disk.

Units: wavelengths in Å; spectra per Å in the run's physical units (× Phyunits, for instance
erg s⁻¹ cm⁻² Å⁻¹); magnitudes in mag; log masses in log10 of solar masses; distances in Mpc.

Examples
--------
>>> import veltrane
>>> grid = veltrane.read_grid("examples/grid.in")
>>> gal = grid.rebuild("gal01")                       # Phyunits and distance from the grid
>>> gal.ok, round(gal.log_mass["total_m3"], 3)
(True, 9.917)
"""

from __future__ import annotations

import os
import warnings
from dataclasses import dataclass, field
from typing import Any

import numpy as np

from . import _arrays, _core
from ._errors import Failure, GalaxyWarning
from .photometry import SYSTEMS, FilterSet, system_index

#: The spectrum slots of Galaxy.magnitudes: the cleaned and extended observation, the total
#: model, the young model, the old model.
SLOTS: tuple[str, ...] = tuple(_core.SLOTS)

#: The keys of Galaxy.log_mass: totals, young and old, from the third (m3) and the second (m2)
#: population columns, as in the columns 205-294 of .MAG.out.
MASSES: tuple[str, ...] = tuple(_core.MASSES)


class InputCache:
    """Inputs kept between rebuilds: SSP files, base files and calibrated filter sets are read
    once and read again when a file changes (its size, time or inode), as in a run. Pass one
    to `rebuild` to make a loop over galaxies fast; safe to share between threads.

    Examples
    --------
    >>> import veltrane
    >>> grid, cache = veltrane.read_grid("examples/grid.in"), veltrane.InputCache()
    >>> [grid.rebuild(name, cache=cache).ok for name in grid.galaxies]
    [True, True, True, True]
    """

    def __init__(self) -> None:
        self._core = _core.Cache()


@dataclass
class Fit:
    """A synthesis result as read: the observed fluxes are multiplied by flx_norm × Phyunits,
    not yet corrected for extinction (see `read_fit`).

    Attributes
    ----------
    base_file : str
        The SSP base file it names.
    law : str
        Its extinction-law code (one of `LAWS` for a known law).
    a_v : float
        The fitted extinction A_V, mag.
    lambda_norm : float
        The normalisation wavelength, Å.
    flux_norm : float
        The flux normalisation.
    q_norm : float
        q(λ_norm) as written in the file (a run replaces it by the law's value).
    fit_range : tuple of float
        The fitted wavelength range, Å.
    mass_tot_2, mass_tot_3, m3_sum : float
        The total masses of the second and third population columns, and Σ m3.
    population : dict
        One array per column: "x", "m2", "m3" (per cent), "age" (yr), "met", "alpha", and
        "ssp" (the SSP file names).
    wave, flux, flux_s, flux_w : numpy.ndarray
        The observed spectrum's four columns (wave in Å).
    """

    base_file: str
    law: str
    a_v: float
    lambda_norm: float
    flux_norm: float
    q_norm: float
    fit_range: tuple[float, float]
    mass_tot_2: float
    mass_tot_3: float
    m3_sum: float
    population: dict[str, Any]
    wave: np.ndarray
    flux: np.ndarray
    flux_s: np.ndarray
    flux_w: np.ndarray


def read_fit(path: str | os.PathLike[str], *, phyunits: float = 1.0) -> Fit:
    """Reads a synthesis result file by position, as the command line does.

    Parameters
    ----------
    path : str or os.PathLike
        The synthesis result file.
    phyunits : float
        The physical-units factor of the fluxes (a non-positive one counts as 1.0, as in a
        run).

    Returns
    -------
    Fit
        The result as read, the observed fluxes × flx_norm × `phyunits`.

    Raises
    ------
    InputFileError
        When the file is missing or unreadable; ``console`` holds the reader's report.

    Examples
    --------
    >>> import veltrane
    >>> fit = veltrane.read_fit("examples/galaxies/gal01", phyunits=1e-17)
    >>> fit.law, round(fit.a_v, 2), fit.lambda_norm, fit.wave.size
    ('CAL', 0.35, 4020.0, 1951)
    """
    return Fit(**_core.read_fit(os.fspath(path), float(phyunits)))


@dataclass
class Galaxy:
    """A galaxy rebuilt as a run rebuilds it (see `rebuild`).

    Attributes
    ----------
    name : str
        The galaxy's name.
    ok : bool
        False where the run marks it as failed (it leaves a .LOG, whose text is ``log``).
    console, log, warnings : str
        What the run prints for it, its .LOG, what it says on standard error.
    fit : Fit
        The synthesis result as read.
    wave : numpy.ndarray
        The base grid, Å.
    total, young, old : numpy.ndarray
        The model spectra on it, per Å × Phyunits (reddened, or scaled to the de-reddened
        observation with ext_corr=1).
    red_term : numpy.ndarray
        −0.4 (q(λ) − q(λ_norm)) on it.
    ext_wave, ext_flux : numpy.ndarray
        The cleaned and extended observation (Å; per Å).
    obs_wave, obs_flux : numpy.ndarray
        The observation as the run uses it (de-reddened with ext_corr=1).
    magnitudes : numpy.ndarray
        (4, F, 7), mag: slots `SLOTS`, systems `SYSTEMS`; NaN (or -999.0 with
        missing="sentinel") where missing.
    covered, positive : numpy.ndarray
        The coverage fractions of the last spectrum measured (the old model), as in .MAG.out.
    zero_point : numpy.ndarray
        2.5 log10 of Vega's flux through each filter, mag.
    lambda_eff : numpy.ndarray
        Effective wavelengths, Å.
    names : numpy.ndarray of str
        The filters.
    log_mass : dict of str to float
        The six log10 stellar masses by `MASSES`, log10 M_sun.
    filters : FilterSet or None
        The filter set it was measured with (None if the run did not get that far).
    mag_text, spc_text, mag_ecsv, spc_ecsv : str
        The exact texts of the tables the run writes (NAME.MAG.out, NAME.SPC.out and, with
        --ecsv, the ECSV ones).
    failure : Failure or None
        Where and why the galaxy failed (path, record, reason), as the command line's
        standard error says it; None for a galaxy that did not fail.
    """

    name: str
    ok: bool
    console: str
    log: str
    warnings: str
    fit: Fit
    wave: np.ndarray
    total: np.ndarray
    young: np.ndarray
    old: np.ndarray
    red_term: np.ndarray
    ext_wave: np.ndarray
    ext_flux: np.ndarray
    obs_wave: np.ndarray
    obs_flux: np.ndarray
    magnitudes: np.ndarray
    covered: np.ndarray
    positive: np.ndarray
    zero_point: np.ndarray
    lambda_eff: np.ndarray
    names: np.ndarray
    log_mass: dict[str, float]
    filters: FilterSet | None
    mag_text: str = field(repr=False)
    spc_text: str = field(repr=False)
    mag_ecsv: str = field(repr=False)
    spc_ecsv: str = field(repr=False)
    failure: Failure | None = None

    def magnitude(self, slot: str, system: str = "vega") -> np.ndarray:
        """The magnitudes of one spectrum in one system.

        Parameters
        ----------
        slot : str
            A name from `SLOTS`: "obs", "total", "young" or "old".
        system : str
            A name from `SYSTEMS` (default "vega", the .MAG.out system).

        Returns
        -------
        numpy.ndarray
            (F,), mag, float32.

        Raises
        ------
        ValueError
            For an unknown slot or system.

        Examples
        --------
        >>> import numpy as np, veltrane
        >>> gal = veltrane.read_grid("examples/grid.in").rebuild("gal01")
        >>> print(np.round(gal.magnitude("total", "vega")[:3], 3))
        [14.526 14.431 13.886]
        """
        if slot not in SLOTS:
            raise ValueError(f"unknown slot {slot!r}: use one of {', '.join(SLOTS)}")
        return self.magnitudes[SLOTS.index(slot), :, system_index(system)]


def _galaxy_of(core: dict[str, Any], name: str, miss: float) -> Galaxy:
    """The Galaxy of the core's rebuild, missing values shown as `miss`."""
    fs = core["filters"]
    filters = FilterSet._from_core(fs) if fs is not None else None
    masses = _arrays.shown(core["log_mass"], miss)
    return Galaxy(name=name, ok=core["ok"], console=core["console"], log=core["log"], warnings=core["warnings"],
                  fit=Fit(**core["fit"]), wave=core["wave"], total=core["total"], young=core["young"],
                  old=core["old"], red_term=core["red_term"], ext_wave=core["ext_wave"], ext_flux=core["ext_flux"],
                  obs_wave=core["obs_wave"], obs_flux=core["obs_flux"],
                  magnitudes=_arrays.shown(core["magnitudes"], miss), covered=core["covered"],
                  positive=core["positive"], zero_point=core["zero_point"], lambda_eff=core["lambda_eff"],
                  names=filters.names if filters is not None else np.array([], dtype=str),
                  log_mass=dict(zip(MASSES, (float(m) for m in masses))) if core["mag_ecsv"] else {},
                  filters=filters, mag_text=core["mag_text"], spc_text=core["spc_text"],
                  mag_ecsv=core["mag_ecsv"], spc_ecsv=core["spc_ecsv"],
                  failure=Failure(*core["failure"]) if core["failure"] is not None else None)


def rebuild(result_file: str | os.PathLike[str], base_dir: str | os.PathLike[str],
            filter_dir: str | os.PathLike[str], *, t_cut_gyr: float, phyunits: float, distance: float,
            ext_corr: int = 0, name: str | None = None, missing: str = "nan",
            cache: InputCache | None = None) -> Galaxy:
    """Rebuilds one galaxy exactly as a run of the command line does (the same numbers, bit
    for bit, as its tables), writing nothing. `Grid.rebuild` takes the parameters from a grid
    file.

    Parameters
    ----------
    result_file : str or os.PathLike
        Its synthesis result.
    base_dir : str or os.PathLike
        The SSP base directory (the base file is the one the result names).
    filter_dir : str or os.PathLike
        The filter directory.
    t_cut_gyr : float
        The age cut, Gyr: SSPs at least this old are old.
    phyunits : float
        The physical-units factor of the fluxes and masses (the grid file's Phyunits, e.g.
        1e-17 for fluxes in 10⁻¹⁷ erg s⁻¹ cm⁻² Å⁻¹; non-positive: 1.0). Required: the
        magnitudes and masses scale with it.
    distance : float
        The distance, Mpc (not positive: the masses lack the 4πd² term). Required.
    ext_corr : int
        1 de-reddens the observation; anything else reddens the models.
    name : str, optional
        The name in the tables' metadata (default: the result file's name).
    missing : {"nan", "sentinel"}
        The value of missing magnitudes and masses: NaN or -999.0.
    cache : InputCache, optional
        Inputs kept between calls.

    Returns
    -------
    Galaxy
        Its spectra, magnitudes, masses and the texts of its tables.

    Raises
    ------
    TypeError
        Without `phyunits` or `distance`.
    RunStopError
        Where the run would stop (a missing SSP base or SSP file, a filter set that cannot
        be read, repeated wavelengths in the extended observation).
    InputFileError
        For a synthesis result that cannot be read.
    ValueError
        For directories a run cannot take (holding a blank).

    Warns
    -----
    GalaxyWarning
        When the run marks the galaxy as failed; its values are returned.

    Examples
    --------
    >>> import veltrane
    >>> gal = veltrane.rebuild("examples/galaxies/gal01", "examples/base", "examples/filters",
    ...                        t_cut_gyr=1.0, phyunits=1e-17, distance=45.0)
    >>> gal.ok, round(gal.log_mass["total_m3"], 3), round(float(gal.magnitude("total")[2]), 2)
    (True, 9.917, 13.89)
    """
    result = os.fspath(result_file)
    miss = _arrays.missing_value(missing)
    core = _core.rebuild(result, name if name is not None else os.path.basename(result),
                         _arrays.directory(base_dir, "the base directory"),
                         _arrays.directory(filter_dir, "the filter directory"), float(t_cut_gyr), float(phyunits),
                         int(ext_corr), float(distance), (cache or InputCache())._core)
    g = _galaxy_of(core, name if name is not None else os.path.basename(result), miss)
    if g.failure is not None:
        f = g.failure
        where = f.path + (f" record {f.record}" if f.record is not None else "")
        warnings.warn(f"galaxy {g.name} failed as in a run: {where}: {f.reason}; see Galaxy.failure and Galaxy.log",
                      GalaxyWarning, stacklevel=2)
    return g


@dataclass
class Grid:
    """A grid file as a run reads it (see `read_grid`).

    Attributes
    ----------
    path_dir, base_dir, filter_dir : str
        The directories of the synthesis results, the SSP base and the filter set, up to
        their first blank, as used.
    t_cut_gyr : float
        The age cut, Gyr.
    phyunits : float
        The physical-units factor (as read, in single precision).
    ext_corr, print_fil, verbose : int
        The three switches.
    galaxies : dict of str to float
        The galaxies and their distances, Mpc, in the file's order.
    root : str
        The directory relative paths are taken from (by default the grid file's own
        directory; a run takes them from its working directory).
    """

    path_dir: str
    base_dir: str
    filter_dir: str
    t_cut_gyr: float
    phyunits: float
    ext_corr: int
    print_fil: int
    verbose: int
    galaxies: dict[str, float]
    root: str

    def rebuild(self, galaxy: str, *, missing: str = "nan", cache: InputCache | None = None) -> Galaxy:
        """Rebuilds one galaxy of this grid with its parameters and distance (see `rebuild`).

        Parameters
        ----------
        galaxy : str
            Its name, a key of `galaxies`.
        missing, cache
            As for `rebuild`.

        Returns
        -------
        Galaxy

        Raises
        ------
        KeyError
            For a galaxy the grid does not hold; otherwise as `rebuild`.

        Examples
        --------
        >>> import veltrane
        >>> grid = veltrane.read_grid("examples/grid.in")
        >>> grid.galaxies["gal02"], grid.rebuild("gal02").ok
        (120.0, True)
        """
        if galaxy not in self.galaxies:
            raise KeyError(f"no galaxy {galaxy!r} in the grid")
        at = lambda d: d if os.path.isabs(d) or self.root in ("", ".") else os.path.join(self.root, d)  # noqa: E731
        return rebuild(at(self.path_dir) + galaxy.split(" ")[0], at(self.base_dir), at(self.filter_dir),
                       t_cut_gyr=self.t_cut_gyr, phyunits=self.phyunits, ext_corr=self.ext_corr,
                       distance=self.galaxies[galaxy], name=galaxy, missing=missing, cache=cache)


def read_grid(path: str | os.PathLike[str], *, root: str | os.PathLike[str] | None = None) -> Grid:
    """Reads a grid file as the command line does: nine run-parameter records, then one
    "name distance" record per galaxy.

    Parameters
    ----------
    path : str or os.PathLike
        The grid file.
    root : str or os.PathLike, optional
        The directory its relative paths are taken from (default: the grid file's own).

    Returns
    -------
    Grid

    Raises
    ------
    InputFileError
        For a missing or unreadable grid file, or a record that cannot be read.

    Examples
    --------
    >>> import veltrane
    >>> grid = veltrane.read_grid("examples/grid.in")
    >>> list(grid.galaxies), grid.t_cut_gyr, grid.root
    (['gal01', 'gal02', 'gal03', 'gal04'], 1.0, 'examples')
    """
    text = os.fspath(path)
    d = _core.read_grid(text)
    return Grid(path_dir=d["path_dir"], base_dir=d["base_dir"], filter_dir=d["filter_dir"],
                t_cut_gyr=d["t_cut_gyr"], phyunits=d["phyunits"], ext_corr=d["ext_corr"],
                print_fil=d["print_fil"], verbose=d["verbose"], galaxies=dict(zip(d["names"], d["distances"])),
                root=os.fspath(root) if root is not None else (os.path.dirname(text) or "."))


__all__ = ["SLOTS", "MASSES", "SYSTEMS", "Fit", "Galaxy", "Grid", "InputCache", "read_fit", "read_grid", "rebuild"]
