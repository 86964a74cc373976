"""One galaxy rebuilt from its synthesis result and its SSP base exactly as a command-line run
rebuilds it: the total, young and old model spectra, the cleaned and extended observation,
the magnitudes and the stellar masses. Nothing is written to disk.

Units: wavelengths in Å; spectra per Å in the run's physical units (× Phyunits, for instance
erg s⁻¹ cm⁻² Å⁻¹); magnitudes in mag; log masses in log10 of solar masses; distances in Mpc.
"""

from __future__ import annotations

import os
import warnings
from dataclasses import dataclass, field
from typing import Any

import numpy as np

from . import _arrays, _core
from ._errors import GalaxyWarning
from .photometry import SYSTEMS, FilterSet, system_index

#: The spectrum slots of Galaxy.magnitudes: the cleaned and extended observation, the total
#: model, the young model, the old model.
SLOTS: tuple[str, ...] = ("obs", "total", "young", "old")

#: The keys of Galaxy.log_mass: totals, young and old, from the third (m3) and the second (m2)
#: population columns, as in the columns 205-294 of .MAG.out.
MASSES: tuple[str, ...] = ("total_m3", "total_m2", "young_m3", "young_m2", "old_m3", "old_m2")


class InputCache:
    """Inputs kept between rebuilds: SSP files, base files and calibrated filter sets are read
    once and read again when a file changes (its size, time or inode), as in a run. Pass one
    to rebuild() to make a loop over galaxies fast; safe to share between threads."""

    def __init__(self) -> None:
        self._core = _core.Cache()


@dataclass
class Fit:
    """A synthesis result as read: the observed fluxes are multiplied by flx_norm × Phyunits,
    not yet corrected for extinction.

    base_file: the SSP base file it names; law: its extinction-law code; a_v (mag);
    lambda_norm (Å); flux_norm; q_norm (as written in the file; a run replaces it by the
    law's value); fit_range (Å); mass_tot_2, mass_tot_3, m3_sum; population: one array per
    column ("x", "m2", "m3" in per cent, "age" in yr, "met", "alpha") and "ssp" (names);
    wave (Å), flux, flux_s, flux_w: the observed spectrum's four columns."""

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
    """Reads a synthesis result file (read by position, as the command line does) with the
    physical-units factor `phyunits` (a non-positive one counts as 1.0, as in a run).
    Raises InputFileError with the reader's report when the file is missing or unreadable."""
    return Fit(**_core.read_fit(os.fspath(path), float(phyunits)))


@dataclass
class Galaxy:
    """A galaxy rebuilt as a run rebuilds it (see rebuild()).

    ok: False where the run marks it as failed (it leaves a .LOG, whose text is ``log``);
    console: what the run prints for it; warnings: what it says on standard error.
    fit: the synthesis result as read. wave: the base grid (Å); total, young, old: the model
    spectra on it (reddened, or scaled to the de-reddened observation with ext_corr=1);
    red_term: −0.4 (q(λ) − q(λ_norm)) on it. ext_wave, ext_flux: the cleaned and extended
    observation; obs_wave, obs_flux: the observation as the run uses it (de-reddened with
    ext_corr=1). magnitudes: (4, F, 7), slots SLOTS, systems SYSTEMS (NaN, or -999.0 with
    missing="sentinel", where missing); covered, positive: the coverage fractions of the
    last spectrum measured (the old model), as in .MAG.out; zero_point: 2.5 log10 of Vega's
    flux through each filter; lambda_eff (Å); names: the filters; log_mass: the six log10
    stellar masses by MASSES (M_sun). filters: the FilterSet it was measured with (None if
    the run did not get that far). mag_text, spc_text, mag_ecsv, spc_ecsv: the exact texts of
    the tables the run writes (NAME.MAG.out, NAME.SPC.out and, with --ecsv, the ECSV ones)."""

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

    def magnitude(self, slot: str, system: str = "vega") -> np.ndarray:
        """The magnitudes (F,) of one spectrum slot (from SLOTS) in one system (from SYSTEMS)."""
        if slot not in SLOTS:
            raise ValueError(f"unknown slot {slot!r}: use one of {', '.join(SLOTS)}")
        return self.magnitudes[SLOTS.index(slot), :, system_index(system)]


def rebuild(result_file: str | os.PathLike[str], base_dir: str | os.PathLike[str],
            filter_dir: str | os.PathLike[str], *, t_cut_gyr: float, phyunits: float = 1.0, ext_corr: int = 0,
            distance: float = 0.0, name: str | None = None, missing: str = "nan",
            cache: InputCache | None = None) -> Galaxy:
    """Rebuilds one galaxy exactly as a run of the command line does (the same numbers, bit
    for bit, as its tables), writing nothing.

    result_file: its synthesis result; base_dir: the SSP base directory (the base file is the
    one the result names); filter_dir: the filter directory. t_cut_gyr: age cut in Gyr (SSPs
    at least this old are old); phyunits: the physical-units factor of the fluxes and masses
    (non-positive: 1.0); ext_corr: 1 de-reddens the observation, anything else reddens the
    models; distance: in Mpc (not positive: the masses lack the 4πd² term); name: for the
    tables' metadata (default: the result file's name); missing: "nan" or "sentinel" (-999.0)
    for missing magnitudes and masses; cache: an InputCache kept between calls.

    Raises RunStopError where the run would stop (a missing SSP base or SSP file, a filter set
    that cannot be read), ValueError for directories a run cannot take (holding a blank).
    Warns (GalaxyWarning) when the run marks the galaxy as failed; its values are returned.
    """
    result = os.fspath(result_file)
    miss = _arrays.missing_value(missing)
    core = _core.rebuild(result, name if name is not None else os.path.basename(result),
                         _arrays.directory(base_dir, "the base directory"),
                         _arrays.directory(filter_dir, "the filter directory"), float(t_cut_gyr), float(phyunits),
                         int(ext_corr), float(distance), (cache or InputCache())._core)
    fs = core["filters"]
    filters = FilterSet._from_core(fs) if fs is not None else None
    masses = _arrays.shown(core["log_mass"], miss)
    g = Galaxy(name=name if name is not None else os.path.basename(result), ok=core["ok"],
               console=core["console"], log=core["log"], warnings=core["warnings"], fit=Fit(**core["fit"]),
               wave=core["wave"], total=core["total"], young=core["young"], old=core["old"],
               red_term=core["red_term"], ext_wave=core["ext_wave"], ext_flux=core["ext_flux"],
               obs_wave=core["obs_wave"], obs_flux=core["obs_flux"],
               magnitudes=_arrays.shown(core["magnitudes"], miss), covered=core["covered"],
               positive=core["positive"], zero_point=core["zero_point"], lambda_eff=core["lambda_eff"],
               names=filters.names if filters is not None else np.array([], dtype=str),
               log_mass=dict(zip(MASSES, (float(m) for m in masses))) if core["mag_ecsv"] else {},
               filters=filters, mag_text=core["mag_text"], spc_text=core["spc_text"],
               mag_ecsv=core["mag_ecsv"], spc_ecsv=core["spc_ecsv"])
    if not g.ok:
        first = next((line.strip() for line in g.log.splitlines()[1:2]), "")
        warnings.warn(f"galaxy {g.name} failed as in a run ({first}); see Galaxy.log and Galaxy.console",
                      GalaxyWarning, stacklevel=2)
    return g


@dataclass
class Grid:
    """A grid file as a run reads it: the run parameters (directories up to their first
    blank, as used) and the galaxies with their distances (Mpc). ``root`` is the directory
    that relative paths are taken from (by default the grid file's own directory; a run takes
    them from its working directory)."""

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
        """Rebuilds the galaxy `galaxy` of this grid with its parameters (see rebuild())."""
        if galaxy not in self.galaxies:
            raise KeyError(f"no galaxy {galaxy!r} in the grid")
        at = lambda d: d if os.path.isabs(d) or self.root in ("", ".") else os.path.join(self.root, d)  # noqa: E731
        return rebuild(at(self.path_dir) + galaxy.split(" ")[0], at(self.base_dir), at(self.filter_dir),
                       t_cut_gyr=self.t_cut_gyr, phyunits=self.phyunits, ext_corr=self.ext_corr,
                       distance=self.galaxies[galaxy], name=galaxy, missing=missing, cache=cache)


def read_grid(path: str | os.PathLike[str], *, root: str | os.PathLike[str] | None = None) -> Grid:
    """Reads a grid file (nine run-parameter records, then one "name distance" record per
    galaxy) as the command line does. Raises InputFileError for a missing or unreadable one."""
    text = os.fspath(path)
    d = _core.read_grid(text)
    return Grid(path_dir=d["path_dir"], base_dir=d["base_dir"], filter_dir=d["filter_dir"],
                t_cut_gyr=d["t_cut_gyr"], phyunits=d["phyunits"], ext_corr=d["ext_corr"],
                print_fil=d["print_fil"], verbose=d["verbose"], galaxies=dict(zip(d["names"], d["distances"])),
                root=os.fspath(root) if root is not None else (os.path.dirname(text) or "."))


__all__ = ["SLOTS", "MASSES", "SYSTEMS", "Fit", "Galaxy", "Grid", "InputCache", "read_fit", "read_grid", "rebuild"]
