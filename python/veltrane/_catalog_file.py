"""Reading a catalogue's FITS file for veltrane.catalog: the checks that it is a whole Veltrane
catalogue, its provenance, filter set and per-galaxy values, and the large columns read on
demand."""

from __future__ import annotations

import enum
import os
import re
import warnings
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np

from ._errors import InputFileError
from ._systems import SYSTEMS
from .galaxy import MASSES, SLOTS

LAYOUTS = (1, 2)


class Status(enum.IntFlag):
    """The bits of a catalogue's STATUS column (docs/catalog.md).

    Examples
    --------
    >>> from veltrane.catalog import Status
    >>> Status(17)
    <Status.PROCESSED|NO_DISTANCE: 17>
    """

    PROCESSED = 1  #: the row holds the galaxy's values (NaN where it has none)
    FAILED = 2  #: it failed (its .LOG says why): treat its values as unusable
    SKIPPED_EXISTING = 4  #: skipped because its tables exist (--skip-existing): no values
    NAME_TOO_LONG = 8  #: skipped: directory + name too long for its file names: no values
    NO_DISTANCE = 16  #: no distance (0 or less): masses NaN
    RESULT_UNREAD = 32  #: its synthesis result was missing or unreadable: no values
    RUN_STOPPED = 64  #: the run stopped at this galaxy: no values
    TEXT_CUT = 128  #: NAME, RESULT or EXT_LAW longer than its column, cut
    OTHER_FILTERS = 256  #: measured through another filter set than FILTERS: magnitudes NaN
    OTHER_GRID = 512  #: its spectra lie on another grid than WAVELENGTH: spectra NaN

    def words(self) -> str:
        """The bits set, in words and in bit order.

        Examples
        --------
        >>> from veltrane.catalog import Status
        >>> Status(35).words()
        'processed, failed, result unread'
        """
        return ", ".join(str(bit.name).lower().replace("_", " ") for bit in Status if bit & self)


SLOT_KEYS = dict(zip(SLOTS, ("OBS", "TOT", "YOUNG", "OLD")), tot="TOT")
MASS_COLUMNS = {key: "LOGMASS_" + key.upper() for key in MASSES}
SCALARS = ("GRID_ROW", "NAME", "RESULT", "DISTANCE", "STATUS", "AV", "EXT_LAW")
STRUCTURE = re.compile(r"^(SIMPLE|BITPIX|NAXIS\d*|EXTEND|PCOUNT|GCOUNT|XTENSION|TFIELDS|EXTNAME|CHECKSUM|DATASUM|"
                        r"T(TYPE|FORM|UNIT|COMM|UCD|DIM|NULL|SCAL|ZERO|DISP)\d+|FILT\d+|LEFF\d+|COMMENT|HISTORY|)$")


def text(value: Any) -> Any:
    """A catalogue text as written (bytes outside printable ASCII, and %, as %XX) back to a
    str; other values unchanged."""
    if not isinstance(value, str) or "%" not in value:
        return value
    raw = re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), value.encode("ascii", "replace"))
    return os.fsdecode(raw)


def texts(column: Any) -> np.ndarray:
    """A text column as str, escapes decoded (only the texts that hold one are looked at)."""
    values = np.array(column, dtype=str)
    escaped = np.flatnonzero(np.char.find(values, "%") >= 0)
    if escaped.size:
        decoded = [text(str(v)) for v in values[escaped]]
        values = values.astype(f"<U{max(values.dtype.itemsize // 4, max(map(len, decoded)))}")
        values[escaped] = decoded
    return values


@dataclass(frozen=True, eq=False)
class CatalogFilters:
    """The filter set of a catalogue (its FILTERS table), one value per filter in list order,
    the order of the magnitude arrays' filter axis.

    Attributes
    ----------
    names : numpy.ndarray of str
        The filter file names as listed.
    lambda_eff : numpy.ndarray
        Effective wavelengths, Å.
    areas : numpy.ndarray
        ∫T dλ, Å (NaN for a GALAXIES table read without its FILTERS table).
    zero_points : numpy.ndarray
        (F, 7): the zero point of each system of `SYSTEMS`, mag (NaN where it has none).
    """

    names: np.ndarray
    lambda_eff: np.ndarray
    areas: np.ndarray
    zero_points: np.ndarray

    def index(self, name: str) -> int:
        """The position of a filter (0-based).

        Parameters
        ----------
        name : str
            The filter's file name, as listed.

        Returns
        -------
        int
            Its index in the filter axis of the magnitude arrays.

        Raises
        ------
        KeyError
            When no filter has that name.

        Examples
        --------
        >>> import veltrane
        >>> veltrane.read_catalog("examples/survey.fits").filters.index("SDSS_r.dat")
        7
        """
        hits = np.flatnonzero(self.names == name)
        if hits.size == 0:
            raise KeyError(f"no filter {name!r} in the catalogue (filters: {', '.join(self.names)})")
        return int(hits[0])


def component_key(word: str, spectra: bool = False) -> str:
    key = SLOT_KEYS.get(word.lower()) if isinstance(word, str) else None
    if key is None or (spectra and key == "OBS"):
        words = [w for w in SLOTS if not (spectra and w == "obs")]
        held = "; the catalogue holds the model spectra only" if spectra and key == "OBS" else ""
        raise ValueError(f"unknown component {word!r}: use one of {', '.join(words)}{held}")
    return key


def fail(path: str, reason: str) -> InputFileError:
    error = InputFileError(f"cannot read the catalogue: {path}: {reason}")
    error.path, error.record, error.reason, error.console = path, None, reason, ""
    return error


class CatalogFile:
    """The FITS file of a catalogue, opened again for every large column read (memory-mapped,
    only the rows asked for copied), so that no file stays open between calls; a file replaced
    since it was read is refused rather than mixed with it."""

    def __init__(self, path: str) -> None:
        self.path = path
        self.identity = self._identity()

    def _identity(self) -> tuple[int, ...]:
        try:
            st = os.stat(self.path)
        except OSError as err:
            raise fail(self.path, err.strerror or str(err)) from None
        return (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns)

    def open(self, checksum: bool = False) -> Any:
        from astropy.io import fits

        if self._identity() != self.identity:
            raise fail(self.path, "it changed since it was read: read it again")
        with warnings.catch_warnings(record=True) as seen:
            warnings.simplefilter("always")
            try:
                hdus = fits.open(self.path, memmap=True, checksum=checksum)
                hdus.readall()
            except (OSError, ValueError, TypeError, EOFError) as err:  # astropy's words for a damaged file vary
                reason = getattr(err, "strerror", None) or f"not a whole FITS file ({err})"
                raise fail(self.path, reason) from None
        for w in seen:
            found = re.search(r"erification failed for HDU \('([^']*)'", str(w.message))
            if found:
                hdus.close()
                raise fail(self.path, f"damaged (checksum of its {hdu_words(found.group(1) or 'PRIMARY')})")
        return hdus

    def column(self, hdu: str | int, name: str, rows: np.ndarray) -> np.ndarray:
        """Array column `name` of table `hdu` at `rows`, in native byte order: (rows, n), even
        for arrays of one element."""
        with self.open() as hdus:
            values = hdus[hdu].data[name]
            out, tail = np.array(values[rows]), values.shape[1:] or (1,)
            del values
        out = out.astype(out.dtype.newbyteorder("="))
        return out.reshape((rows.size,) + tail)


def hdu_words(hdu: str) -> str:
    return "primary header" if hdu == "PRIMARY" else f"{hdu} table"


def check_fits(path: str) -> None:
    if os.path.isdir(path):
        raise fail(path, "a directory")
    try:
        with open(path, "rb") as f:
            head = f.read(80)
    except OSError as err:
        raise fail(path, err.strerror or str(err)) from None
    if not head:
        raise fail(path, "not a FITS file (empty)")
    if not head.startswith(b"SIMPLE  =") or head[29:30] != b"T":
        raise fail(path, "not a FITS file")


def veltrane_header(header: Any) -> bool:
    return str(header.get("CREATOR", "")).startswith("veltrane ") and "VTFORMAT" in header


def votable_parameters(hdus: Any) -> list[dict[str, Any]]:
    """The parameters of each table of a fits-plus file (STILTS, TOPCAT), in the order of the
    tables after the primary HDU, from the VOTable that HDU holds; [] for any other file."""
    if not hdus[0].header.get("VOTMETA") or hdus[0].data is None:
        return []
    import xml.etree.ElementTree as ElementTree

    try:
        root = ElementTree.fromstring(hdus[0].data.tobytes())
    except ElementTree.ParseError:
        return []
    kinds: dict[str, Callable[[str], Any]] = {"int": int, "long": int, "short": int, "float": float, "double": float,
                                              "boolean": lambda v: v in ("T", "t", "true", "1")}
    tables = []
    for table in (e for e in root.iter() if e.tag.rsplit("}", 1)[-1] == "TABLE"):
        parameters: dict[str, Any] = {}
        for p in (e for e in table if e.tag.rsplit("}", 1)[-1] == "PARAM"):
            name, value = p.get("name", ""), p.get("value", "")
            try:
                parameters[name] = kinds.get(p.get("datatype", ""), str)(value)
            except ValueError:
                parameters[name] = value
        tables.append(parameters)
    return tables


def locate(path: str, hdus: Any) -> tuple[Any, Any, Any, bool]:
    """(provenance, GALAXIES HDU, its keywords, whole): a whole catalogue; or (layout 2 on) a
    GALAXIES table copied or selected on its own by astropy or STILTS, whose keywords (in
    STILTS's fits-plus, parameters) repeat the provenance and name the filters."""
    tables = {h.name: h for h in hdus[1:]}
    parameters = votable_parameters(hdus)
    keys = lambda k: parameters[k - 1] if k <= len(parameters) else hdus[k].header  # noqa: E731
    whole = veltrane_header(hdus[0].header)
    if whole:
        meta, galaxies = hdus[0].header, tables.get("GALAXIES")
    else:
        found = [k for k in range(1, len(hdus)) if veltrane_header(keys(k)) and "STATUS" in getattr(
            getattr(hdus[k], "columns", None), "names", ())]
        if not found:
            raise fail(path, "a FITS file, but not a Veltrane catalogue")
        meta, galaxies = keys(found[0]), hdus[found[0]]
    layout = meta["VTFORMAT"]
    if layout not in LAYOUTS:
        raise fail(path, f"a Veltrane catalogue of layout {layout} ({meta['CREATOR']}), which this version does not "
                          f"read (layouts {LAYOUTS[0]} to {LAYOUTS[-1]})")
    needed = ["GALAXIES"] if galaxies is None else []
    if whole:
        needed += [t for t in ("FILTERS",) if meta.get("FILTSET") and t not in tables]
        needed += [t for t in ("WAVELENGTH", "SPECTRA") if meta.get("SPECTRA") and t not in tables]
    size = os.path.getsize(path)
    end = max(h.fileinfo()["datLoc"] + h.fileinfo()["datSpan"] for h in hdus)
    if size < end:
        raise fail(path, f"cut short: {size} of {'at least ' if needed else ''}{end} bytes")
    if needed and (size == end or size % 2880):  # ends with a whole table, or inside a header
        raise fail(path, f"cut short: it ends after its {hdu_words(hdus[-1].name)} ({size} bytes), without its "
                         f"{needed[0]} table")
    if needed:
        raise fail(path, f"damaged: no {needed[0]} table")
    return meta, galaxies, keys(hdus.index(galaxies)) if whole else meta, whole


def filter_set(path: str, meta: Any, keys: Any, table: Any) -> CatalogFilters | None:
    """The FILTERS table, or the filter names and wavelengths the GALAXIES keywords give (FILTk,
    LEFFk); None when the run met no filter set."""
    if not meta.get("FILTSET"):
        return None
    n = int(meta["NFILTERS"])
    named = [text(keys.get(f"FILT{k + 1}")) for k in range(n)]
    if table is None:
        if None in named:
            raise fail(path, "damaged: its GALAXIES table names no filters and has no FILTERS table")
        arrays = [np.array(named, dtype=str), np.array([keys[f"LEFF{k + 1}"] for k in range(n)], np.float32),
                  np.full(n, np.nan, np.float32), np.full((n, len(SYSTEMS)), np.nan, np.float32)]
    else:
        data = table.data
        names = texts(data["FILTER"])
        if len(names) != n or (None not in named and list(names) != named):
            raise fail(path, "damaged: its FILTERS table is not the filter set its header names")
        native = lambda c: np.array(data[c], dtype=np.float32)  # noqa: E731
        arrays = [names, native("LAMBDA_EFF"), native("AREA"), np.stack([native("ZP_" + s.upper()) for s in SYSTEMS], 1)]
    return CatalogFilters(*(read_only(a) for a in arrays))


def read_only(a: np.ndarray) -> np.ndarray:
    a.flags.writeable = False
    return a


def catalog_state(path: str, hdus: Any) -> dict[str, Any]:
    """What a Catalog holds in memory: the provenance, the filters, the per-galaxy scalars and
    masses, the spectra's grid."""
    meta, galaxies, keys, whole = locate(path, hdus)
    layout = int(meta["VTFORMAT"])
    filters = filter_set(path, meta, keys, hdus["FILTERS"] if "FILTERS" in hdus else None)
    columns = set(galaxies.columns.names)
    needed = list(SCALARS) + list(MASS_COLUMNS.values()) + (["COVERAGE", "COVERAGE_POSITIVE"] + [
        f"MAG_{s}_{y.upper()}" for s in ("OBS", "TOT", "YOUNG", "OLD") for y in SYSTEMS] if filters is not None
        and filters.names.size else [])  # a list of no filter: no magnitude columns
    missing = [c for c in needed if c not in columns]
    if missing:
        raise fail(path, f"damaged: its GALAXIES table has no column {missing[0]}")
    data = galaxies.data
    native = lambda c, t: read_only(np.array(data[c], dtype=t))  # noqa: E731
    state: dict[str, Any] = dict(
        path=path, layout=layout, filters=filters, _galaxies=hdus.index(galaxies), _rows=np.arange(len(data)),
        provenance={k: text(v) for k, v in meta.items() if not STRUCTURE.match(k)},
        grid_row=native("GRID_ROW", np.int32), status=native("STATUS", np.int32),
        name=read_only(texts(data["NAME"])), result=read_only(texts(data["RESULT"])),
        distance=native("DISTANCE", np.float32), a_v=native("AV", np.float32),
        law=read_only(texts(data["EXT_LAW"])), wavelength=None, flux_unit=None, inputs=None)
    no_distance = (state["status"] & Status.NO_DISTANCE) != 0
    state["log_mass"] = {k: np.array(data[c], dtype=np.float32) for k, c in MASS_COLUMNS.items()}
    for values in state["log_mass"].values():
        values[no_distance] = np.nan  # layout 1 kept the tables' masses without 4πd²: no masses
        read_only(values)
    names = [h.name for h in hdus]
    if "INPUTS" in names:
        from astropy.table import Table

        inputs = Table(hdus["INPUTS"].data)
        for name in inputs.colnames:
            if inputs[name].dtype.kind in "SU":
                inputs[name] = texts(inputs[name])
        state["inputs"] = inputs
    if "SPECTRA" in names and "WAVELENGTH" in names and whole:
        spectra = hdus["SPECTRA"]
        if not np.array_equal(np.asarray(spectra.data["GRID_ROW"]), state["grid_row"]):
            raise fail(path, "damaged: its SPECTRA rows are not the galaxies of its GALAXIES rows")
        state["wavelength"] = read_only(np.asarray(hdus["WAVELENGTH"].data["LAMBDA"], np.float32).reshape(-1))
        state["flux_unit"] = spectra.header.get("TUNIT2") or None
    return state


