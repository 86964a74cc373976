"""The tables a run writes, read into astropy tables (astropy is needed for these only).

read_mag reads NAME.MAG.out (fixed columns), read_spc NAME.SPC.out (nine numbers a line),
read_ecsv the ECSV tables of ``veltrane --ecsv`` (NAME.mag.ecsv, NAME.spc.ecsv). Values are
float32 as written; a -999.0 (a missing value) is masked.
"""

from __future__ import annotations

import os
from typing import Any

import numpy as np

from ._arrays import SENTINEL

# NAME.MAG.out: (name, first column, last column, unit), columns 1-based and inclusive.
_MAG_COLUMNS = [("coverage_positive", 15, 29, ""), ("coverage", 30, 44, ""), ("lambda_eff", 45, 59, "Angstrom"),
                ("zero_point", 60, 74, "mag"), ("m_obs", 75, 89, "mag"), ("m_tot", 90, 104, "mag"),
                ("m_young", 105, 119, "mag"), ("m_old", 120, 134, "mag"), ("m_obs_minus_tot", 135, 149, "mag"),
                ("m_obs_minus_young", 150, 164, "mag"), ("m_obs_minus_old", 165, 179, "mag"),
                ("m_tot_minus_old", 180, 194, "mag"), ("flag", 195, 204, ""),
                ("log_mass_total_m3", 205, 219, "dex(solMass)"), ("log_mass_total_m2", 220, 234, "dex(solMass)"),
                ("log_mass_young_m3", 235, 249, "dex(solMass)"), ("log_mass_young_m2", 250, 264, "dex(solMass)"),
                ("log_mass_old_m3", 265, 279, "dex(solMass)"), ("log_mass_old_m2", 280, 294, "dex(solMass)")]

_SPC_COLUMNS = [("lambda_ext", "Angstrom"), ("flux_ext", ""), ("lambda_obs", "Angstrom"), ("flux_obs", ""),
                ("lambda", "Angstrom"), ("flux_total", ""), ("flux_young", ""), ("flux_old", ""), ("red_term", "")]


def _number(field: str) -> float:
    text = field.strip()
    if not text or set(text) == {"*"}:  # a value too wide for its field
        return float("nan")
    return float(text)


def _table(columns: list[tuple[str, np.ndarray, str]], masked: bool) -> Any:
    from astropy.table import MaskedColumn, Table

    t = Table()
    for name, values, unit in columns:
        if values.dtype.kind == "f" and masked:
            t[name] = MaskedColumn(values, mask=values == SENTINEL, unit=unit or None)
        else:
            t[name] = values
            if unit:
                t[name].unit = unit
    return t


def read_mag(path: str | os.PathLike[str], *, masked: bool = True) -> Any:
    """Reads NAME.MAG.out, one row per filter.

    Parameters
    ----------
    path : str or os.PathLike
        The table.
    masked : bool
        Mask the tables' -999.0 (default); with False, keep it as a number.

    Returns
    -------
    astropy.table.Table
        "filter" (the first ten characters of its file name), "coverage_positive",
        "coverage", "lambda_eff" (Å), "zero_point", the four Vega magnitudes "m_obs",
        "m_tot", "m_young", "m_old" and their differences (mag), "flag", and the six log
        stellar masses "log_mass_*" (log10 M_sun); float32 as written. A field of asterisks
        (a value too wide for it) reads as NaN.

    Raises
    ------
    OSError
        When the file cannot be read.

    Examples
    --------
    >>> import veltrane
    >>> t = veltrane.read_mag("examples/galaxies/gal01.MAG.out")   # after a run in examples/
    >>> len(t), t["filter"][7], round(float(t["m_tot"][2]), 3)
    (10, 'SDSS_r.dat', 13.886)
    """
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n") for line in f if line.strip()]
    names = np.array([r[4:14].strip() for r in rows], dtype=str)
    columns: list[tuple[str, np.ndarray, str]] = [("filter", names, "")]
    for name, a, b, unit in _MAG_COLUMNS:
        columns.append((name, np.array([_number(r[a - 1:b]) for r in rows], dtype=np.float32), unit))
    return _table(columns, masked)


def read_spc(path: str | os.PathLike[str], *, masked: bool = False) -> Any:
    """Reads NAME.SPC.out, one row per base wavelength.

    Parameters
    ----------
    path : str or os.PathLike
        The table.
    masked : bool
        Mask -999.0 (default: keep it).

    Returns
    -------
    astropy.table.Table
        Nine float32 columns: "lambda_ext", "flux_ext" (the cleaned and extended
        observation, 0 beyond its length), "lambda_obs", "flux_obs" (the observation, 0
        beyond its length), "lambda" (the base grid), "flux_total", "flux_young",
        "flux_old" and "red_term". Wavelengths in Å, fluxes per Å.

    Raises
    ------
    OSError
        When the file cannot be read.
    ValueError
        For a line without nine numbers.

    Examples
    --------
    >>> import veltrane
    >>> t = veltrane.read_spc("examples/galaxies/gal01.SPC.out")   # after a run in examples/
    >>> len(t), t.colnames[4], float(t["lambda"][0])
    (1621, 'lambda', 1000.0)
    """
    with open(path, encoding="utf-8") as f:
        values = np.loadtxt(f, dtype=np.float64, ndmin=2)
    if values.size == 0:
        values = np.zeros((0, len(_SPC_COLUMNS)))
    if values.shape[1] != len(_SPC_COLUMNS):
        raise ValueError(f"{os.fspath(path)}: {values.shape[1]} columns, a .SPC.out has {len(_SPC_COLUMNS)}")
    # Nine significant digits, so float64 then float32 gives back the float32 the run wrote.
    values = values.astype(np.float32)
    return _table([(n, values[:, k], u) for k, (n, u) in enumerate(_SPC_COLUMNS)], masked)


def read_ecsv(path: str | os.PathLike[str]) -> Any:
    """Reads an ECSV table of ``veltrane --ecsv`` (NAME.mag.ecsv or NAME.spc.ecsv).

    Parameters
    ----------
    path : str or os.PathLike
        The table.

    Returns
    -------
    astropy.table.Table
        Named, typed columns with units, missing values masked, and the galaxy's metadata
        (its name, distance and six log masses) in ``table.meta``.

    Raises
    ------
    OSError, ValueError
        When the file cannot be read as ECSV.

    Examples
    --------
    >>> import veltrane
    >>> t = veltrane.read_ecsv("examples/galaxies/gal01.mag.ecsv")  # after veltrane --ecsv
    >>> t.meta["galaxy"], t["lambda_eff"].unit
    ('gal01', Unit("Angstrom"))
    """
    from astropy.table import Table

    return Table.read(os.fspath(path), format="ascii.ecsv")
