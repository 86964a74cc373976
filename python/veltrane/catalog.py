"""The survey catalogue that ``veltrane --catalog`` writes (docs/catalog.md), read into numpy
arrays and astropy tables: one row per galaxy, magnitudes by filter name, system and
spectrum, the filter set and the run's provenance attached. astropy is needed (imported when a
catalogue is read).

Units: magnitudes in mag, wavelengths in Å, distances in Mpc, log masses in log10 of solar
masses, model spectra per Å × Phyunits. A missing value is NaN.

Examples
--------
>>> import veltrane
>>> cat = veltrane.read_catalog("examples/survey.fits")  # veltrane --catalog survey.fits grid.in, in examples/
>>> list(cat.name), cat.filters.names[2]
(['gal01', 'gal02', 'gal03', 'gal04'], 'John_V.dat')
>>> print(cat.magnitudes("John_V.dat", system="vega", component="total").round(2))
[13.89 14.86 12.78 16.21]
"""

from __future__ import annotations

import os
from typing import Any, Sequence

import numpy as np

from ._catalog_file import (LAYOUTS, CatalogFile, CatalogFilters, Status, catalog_state, check_fits,
                            component_key, read_only)
from ._systems import SYSTEMS, system_index
from .galaxy import MASSES


class Catalog:
    """A survey catalogue read by `read_catalog`: its galaxies (one per row, in grid order),
    the filter set, the provenance, and the magnitudes and spectra read on demand. Rows are
    selected with ``catalog[mask]`` (a boolean mask, indices or a slice), which gives a
    catalogue of those rows. Read-only, arrays included.

    Attributes
    ----------
    path : str
        The file.
    layout : int
        Its layout (VTFORMAT), one of `LAYOUTS`.
    provenance : dict
        The primary header's keywords (docs/catalog.md): the program (CREATOR), the grid file
        and its SHA-256, the shard, the directories, TCUTGYR, PHYUNITS, EXTCORR, the filter
        set's identities, ...; texts decoded.
    filters : CatalogFilters or None
        The filter set (None when no galaxy met one: no magnitudes).
    grid_row, name, result, distance, status, a_v, law : numpy.ndarray
        Per galaxy: its place among the grid's records (1 for the first), name, synthesis
        result file, distance (Mpc; 0 or less: none), `Status` bits, fitted A_V (mag) and
        extinction-law code. Read-only.
    log_mass : dict of str to numpy.ndarray
        The six log10 stellar masses by `MASSES` (log10 M_sun), NaN for a galaxy without a
        distance or without values. Read-only.
    usable : numpy.ndarray of bool
        Processed and not failed: the rows whose values can be used.
    wavelength : numpy.ndarray or None
        The grid of the model spectra (Å), None without spectra.
    flux_unit : str or None
        The model spectra's unit as written (None in layout 1).
    inputs : astropy.table.Table or None
        For a merged catalogue, the catalogues merged (layout 2).

    Examples
    --------
    >>> import veltrane
    >>> cat = veltrane.read_catalog("examples/survey.fits")
    >>> good = cat[cat.usable & np.isfinite(cat.log_mass["total_m3"])]
    >>> len(cat), len(good), list(good.name)
    (4, 3, ['gal01', 'gal02', 'gal04'])
    """

    path: str
    layout: int
    provenance: dict[str, Any]
    filters: CatalogFilters | None
    grid_row: np.ndarray
    name: np.ndarray
    result: np.ndarray
    distance: np.ndarray
    status: np.ndarray
    a_v: np.ndarray
    law: np.ndarray
    log_mass: dict[str, np.ndarray]
    wavelength: np.ndarray | None
    flux_unit: str | None
    inputs: Any
    _file: CatalogFile
    _galaxies: int  # the GALAXIES table's place in the file
    _rows: np.ndarray  # the file's rows this catalogue holds, in its order

    def __init__(self) -> None:
        raise TypeError("a Catalog is made by veltrane.read_catalog(path)")

    @classmethod
    def _of(cls, file: CatalogFile, state: dict[str, Any]) -> Catalog:
        catalog = cls.__new__(cls)
        catalog.__dict__.update(state, _file=file)
        return catalog

    def __setattr__(self, key: str, value: Any) -> None:
        raise AttributeError(f"a Catalog is read-only ({key}): select rows with catalog[mask]")

    def __len__(self) -> int:
        return int(self._rows.size)

    def __repr__(self) -> str:
        filters = len(self.filters.names) if self.filters is not None else 0
        return (f"<veltrane.Catalog {self.path}: {len(self)} galaxies ({int(self.usable.sum())} usable), "
                f"{filters} filters, {'spectra, ' if self.wavelength is not None else ''}layout {self.layout}>")

    def __getitem__(self, rows: Any) -> Catalog:
        pick = np.arange(len(self))[rows]
        if pick.ndim != 1:
            raise TypeError("select rows with a boolean mask, indices or a slice")
        state = {k: v for k, v in self.__dict__.items() if k != "_file"}
        state["_rows"] = self._rows[pick]
        for key in ("grid_row", "name", "result", "distance", "status", "a_v", "law"):
            state[key] = read_only(getattr(self, key)[pick])
        state["log_mass"] = {k: read_only(v[pick]) for k, v in self.log_mass.items()}
        return Catalog._of(self._file, state)

    @property
    def usable(self) -> np.ndarray:
        return (self.status & (Status.PROCESSED | Status.FAILED)) == Status.PROCESSED

    def _filter_axis(self, filter: Any) -> Any:
        """The index (one filter: a result of one value per galaxy) or indices into the filter
        axis."""
        if self.filters is None:
            raise ValueError(f"{self.path} holds no magnitudes: no galaxy of its run met a filter set")
        if filter is None:
            return slice(None)
        if isinstance(filter, (str, int, np.integer)):
            return self._one_filter(filter)
        return [self._one_filter(f) for f in filter]

    def _per_filter(self, column: str) -> np.ndarray:
        """A magnitude or coverage column, (N, F); a run whose filter list names no filter has
        none of them."""
        assert self.filters is not None
        if self.filters.names.size == 0:
            return np.empty((len(self), 0), np.float32)
        return self._file.column(self._galaxies, column, self._rows)

    def _one_filter(self, filter: str | int | np.integer) -> int:
        assert self.filters is not None
        if isinstance(filter, str):
            return self.filters.index(filter)
        if not -len(self.filters.names) <= filter < len(self.filters.names):
            raise IndexError(f"filter {filter} out of range: the catalogue has {len(self.filters.names)}")
        return int(filter) % len(self.filters.names)

    def magnitudes(self, filter: str | int | Sequence[str | int] | None = None, *, system: str,
                   component: str) -> np.ndarray:
        """The magnitudes of one spectrum in one photometric system, by filter.

        Parameters
        ----------
        filter : str, int, sequence of them, or None
            A filter by name (as listed) or index; several; None for all of them.
        system : str
            A name from `SYSTEMS` ("vega", "ab", ...).
        component : str
            The spectrum measured: "obs" (the cleaned and extended observation), "total" (or
            "tot"), "young" or "old" (the models).

        Returns
        -------
        numpy.ndarray
            float32, mag, the values the tables print: (N,) for one filter, (N, F) for
            several or all (in the order asked for); NaN where a galaxy has no value (a
            placeholder row, a galaxy without its synthesis result, a filter its spectrum
            does not reach, a system without a zero point).

        Raises
        ------
        KeyError
            For an unknown filter name.
        ValueError
            For an unknown system or component, or a catalogue without magnitudes.
        veltrane.InputFileError
            When the file cannot be read again, or was replaced since.

        Examples
        --------
        >>> import veltrane
        >>> cat = veltrane.read_catalog("examples/survey.fits")
        >>> cat.magnitudes(["SDSS_g.dat", "SDSS_r.dat"], system="ab", component="obs").shape
        (4, 2)
        """
        column = f"MAG_{component_key(component)}_{SYSTEMS[system_index(system)].upper()}"
        axis = self._filter_axis(filter)
        return self._per_filter(column)[:, axis]

    def coverage(self, filter: str | int | Sequence[str | int] | None = None) -> tuple[np.ndarray, np.ndarray]:
        """The parts of each filter's area covered by a galaxy's old model spectrum, and by its
        points of positive flux (the COVERAGE columns; .MAG.out columns 30-44 and 15-29).

        Parameters
        ----------
        filter : str, int, sequence of them, or None
            As in `magnitudes`.

        Returns
        -------
        tuple of numpy.ndarray
            (covered, positive), float32 from 0 to 1, shaped as `magnitudes`.

        Raises
        ------
        KeyError, ValueError, veltrane.InputFileError
            As `magnitudes`.

        Examples
        --------
        >>> import veltrane
        >>> covered, positive = veltrane.read_catalog("examples/survey.fits").coverage("John_V.dat")
        >>> covered.round(4).tolist()
        [1.0, 1.0, 1.0, 1.0]
        """
        axis = self._filter_axis(filter)
        covered, positive = (self._per_filter(c)[:, axis]
                             for c in ("COVERAGE", "COVERAGE_POSITIVE"))
        return covered, positive

    def spectra(self, component: str) -> np.ndarray:
        """The model spectra of the galaxies (written with ``--catalog-spectra``), on the grid
        `wavelength`.

        Parameters
        ----------
        component : str
            "total" (or "tot"), "young" or "old".

        Returns
        -------
        numpy.ndarray
            (N, P) float32, per Å × Phyunits (`flux_unit`); NaN for a galaxy without spectra
            or on another grid (`Status.OTHER_GRID`).

        Raises
        ------
        ValueError
            For a catalogue without spectra, or an unknown component (the observation is not
            in the catalogue).
        veltrane.InputFileError
            When the file cannot be read again, or was replaced since.

        Examples
        --------
        >>> import veltrane
        >>> cat = veltrane.read_catalog("examples/survey.fits")
        >>> cat.spectra("young").shape, cat.wavelength[:3]      # written with --catalog-spectra
        ((4, 1621), array([1000., 1020., 1040.], dtype=float32))
        """
        key = {"TOT": "FLUX_TOTAL", "YOUNG": "FLUX_YOUNG", "OLD": "FLUX_OLD"}[component_key(component, spectra=True)]
        if self.wavelength is None:
            raise ValueError(f"{self.path} holds no spectra: veltrane --catalog-spectra writes them")
        return self._file.column("SPECTRA", key, self._rows)

    def table(self, *, system: str, component: str, filters: Sequence[str | int] | None = None) -> Any:
        """The galaxies as an astropy Table with one magnitude column per filter.

        Parameters
        ----------
        system, component : str
            As in `magnitudes`.
        filters : sequence of str or int, optional
            The filters to give a column (default: all, in list order).

        Returns
        -------
        astropy.table.Table
            "grid_row", "name", "status", "distance" (Mpc), "a_v" (mag), "law", the six
            "log_mass_*" (dex(solMass)), then one float32 column per filter named by the
            filter (mag, NaN where missing; its effective wavelength in the description);
            ``meta`` holds the file, the system, the component and the provenance.

        Raises
        ------
        KeyError, ValueError, veltrane.InputFileError
            As `magnitudes`.

        Examples
        --------
        >>> import veltrane
        >>> t = veltrane.read_catalog("examples/survey.fits").table(system="ab", component="total")
        >>> t.colnames[:3], t.colnames[-1], round(float(t["John_V.dat"][0]), 2)
        (['grid_row', 'name', 'status'], 'SDSS_z.dat', 13.89)
        """
        from astropy.table import Table

        picked = list(range(len(self.filters.names))) if filters is None and self.filters is not None else filters
        values = self.magnitudes(picked, system=system, component=component)
        assert self.filters is not None
        t = Table(meta={"catalogue": self.path, "system": system.lower(), "component": component.lower(),
                        **self.provenance})
        for name, unit in (("grid_row", None), ("name", None), ("status", None), ("distance", "Mpc"),
                           ("a_v", "mag"), ("law", None)):
            t[name] = getattr(self, name)
            t[name].unit = unit
        for key in MASSES:
            t["log_mass_" + key] = self.log_mass[key]
            t["log_mass_" + key].unit = "dex(solMass)"
        for k, f in enumerate(picked or []):
            i = self._one_filter(f)
            column = str(self.filters.names[i])
            t[column if column not in t.colnames else f"{column} ({i + 1})"] = values[:, k]
            t.columns[-1].unit = "mag"
            t.columns[-1].description = f"{component} {system}, lambda_eff {self.filters.lambda_eff[i]:.1f} Angstrom"
        return t

    def status_counts(self) -> dict[str, int]:
        """How many galaxies carry each `Status` bit.

        Returns
        -------
        dict of str to int
            By the bits' names in lower case ("processed", "failed", "no_distance", ...),
            in bit order, every bit present; with "usable" (processed and not failed) last.

        Raises
        ------
        Nothing
            It counts the STATUS values already read.

        Examples
        --------
        >>> import veltrane
        >>> counts = veltrane.read_catalog("examples/survey.fits").status_counts()
        >>> counts["processed"], counts["failed"], counts["no_distance"], counts["usable"]
        (4, 0, 1, 4)
        """
        counts = {str(bit.name).lower(): int(np.count_nonzero(self.status & bit)) for bit in Status}
        counts["usable"] = int(np.count_nonzero(self.usable))
        return counts



def read_catalog(path: str | os.PathLike[str], *, verify: bool = False) -> Catalog:
    """Reads a survey catalogue written by ``veltrane --catalog`` or ``veltrane-merge``.

    The galaxies' names, status, distances, A_V, laws and masses, the filter set and the
    provenance are read at once; the magnitudes, coverage and spectra when asked for, the rows
    selected only (the file is memory-mapped, and closed between calls). Layouts 1 and 2 are
    read alike: the masses of a galaxy without a distance are NaN in both. A GALAXIES table
    of layout 2 copied or selected on its own (it repeats the filter names and the provenance
    in its header) is read too, from astropy or from STILTS's fits-plus; without a FILTERS
    table beside it, the filters' areas and zero points are NaN.

    Parameters
    ----------
    path : str or os.PathLike
        The catalogue.
    verify : bool
        Verify the checksums of every HDU first (reads the whole file once).

    Returns
    -------
    Catalog
        The galaxies, in the file's order.

    Raises
    ------
    veltrane.InputFileError
        When the file cannot be read, is not a FITS file or not a Veltrane catalogue, has a
        layout this version does not read, is cut short or damaged (with ``verify``, a
        checksum that does not match); the message names the file and says why.
    ImportError
        Without astropy.

    Examples
    --------
    >>> import veltrane
    >>> cat = veltrane.read_catalog("examples/survey.fits")
    >>> cat.provenance["GRIDFILE"], cat.provenance["PHYUNITS"], cat.filters.lambda_eff[2].round(1)
    ('grid.in', 1e-17, 5515.3)
    """
    try:
        import astropy.io.fits  # noqa: F401
    except ImportError as err:
        raise ImportError("veltrane.read_catalog needs astropy (Debian: apt-get install python3-astropy; "
                          "pip install astropy)") from err
    text = os.fspath(path)
    check_fits(text)
    file = CatalogFile(text)
    with file.open() as hdus:
        state = catalog_state(text, hdus)
    if verify:  # once the file is known to be whole
        file.open(checksum=True).close()
    return Catalog._of(file, state)


__all__ = ["LAYOUTS", "Status", "Catalog", "CatalogFilters", "read_catalog"]