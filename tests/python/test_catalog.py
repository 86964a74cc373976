"""veltrane.read_catalog on the example's catalogue (written with --ecsv, so the ECSV tables of
the same run are at hand), in layouts 1 and 2: the tables' magnitudes, masses, coverage and
spectra bit for bit; selections; and every way a file is not a catalogue refused with why."""

import gc
import os
import shutil
import subprocess
import sys
import warnings

import numpy as np
import pytest
from conftest import GALAXIES, column, run_veltrane

import veltrane
from veltrane.catalog import Status

fits = pytest.importorskip("astropy.io.fits")
COMPONENTS = (("obs", "obs"), ("total", "tot"), ("tot", "tot"), ("young", "young"), ("OLD", "old"))
FLUX_UNIT = "erg/(s.cm2.Angstrom)"


def same(a, b):
    """Equal as float32 bits, NaN where the other is NaN."""
    a, b = np.asarray(a, np.float32), np.asarray(b, np.float32)
    nan = np.isnan(a)
    return np.array_equal(nan, np.isnan(b)) and np.array_equal(a[~nan].view(np.int32), b[~nan].view(np.int32))


def layout_1(source, target, tables):
    """The catalogue `source` (layout 2) as layout 1 wrote it: the tables' masses without a
    distance, in solMass; spectra without a unit; no filter names or provenance in GALAXIES."""
    with fits.open(source) as hdus:
        galaxies, primary = hdus["GALAXIES"], hdus[0].header
        far = np.flatnonzero(galaxies.data["STATUS"] & Status.NO_DISTANCE)
        for n, name in enumerate(galaxies.columns.names, start=1):
            if name.startswith("LOGMASS_"):
                galaxies.header[f"TUNIT{n}"] = "solMass"
                for row in far:
                    galaxies.data[name][row] = tables[GALAXIES[row]][0].meta["log_mass_" + name[8:].lower()]["value"]
        for key in [k for k in galaxies.header if k.startswith(("FILT", "LEFF")) or k in primary and k not in (
                "BITPIX", "NAXIS", "EXTEND", "COMMENT", "CHECKSUM", "DATASUM")]:
            galaxies.header.remove(key)
        for n in (2, 3, 4):
            hdus["SPECTRA"].header.remove(f"TUNIT{n}")
        primary["VTFORMAT"] = 1
        hdus.writeto(target, checksum=True)


@pytest.fixture(scope="session", params=veltrane.catalog.LAYOUTS)
def catalogue(request, example, tables, tmp_path_factory):
    """(path, layout) of the example's catalogue in each layout."""
    if request.param == 2:
        return example / "survey.fits", 2
    target = tmp_path_factory.mktemp("layout") / "layout1.fits"
    layout_1(example / "survey.fits", target, tables)
    return target, 1


def test_magnitudes_masses_and_coverage_are_the_tables_bit_for_bit(catalogue, tables):
    path, layout = catalogue
    cat = veltrane.read_catalog(path)
    assert (cat.layout, list(cat.name), list(cat.grid_row)) == (layout, list(GALAXIES), [1, 2, 3, 4])
    for system in veltrane.SYSTEMS:
        for word, key in COMPONENTS:
            table = cat.table(system=system, component=word)
            for i, galaxy in enumerate(GALAXIES):
                mag = tables[galaxy][0]
                want = column(mag, f"m_{key}_{system}")
                assert same(cat.magnitudes(system=system.upper(), component=word)[i], want), (galaxy, system, word)
                assert same([table[str(f)][i] for f in mag["filter"]], want), (galaxy, system, word)
    covered, positive = cat.coverage()
    for i, galaxy in enumerate(GALAXIES):
        mag = tables[galaxy][0]
        assert same(covered[i], column(mag, "coverage")) and same(positive[i], column(mag, "coverage_positive"))
        far = cat.status[i] & Status.NO_DISTANCE
        for key in veltrane.MASSES:
            want = np.nan if far else mag.meta["log_mass_" + key]["value"]
            assert same(cat.log_mass[key][i], want), (galaxy, key)


def test_filters_provenance_and_spectra_are_the_run_s(catalogue, tables, example):
    path, layout = catalogue
    cat = veltrane.read_catalog(path, verify=True)
    fs = veltrane.FilterSet(example / "filters")
    assert list(cat.filters.names) == list(fs.names) and cat.filters.index("SDSS_r.dat") == 7
    for ours, theirs in ((cat.filters.lambda_eff, fs.lambda_eff), (cat.filters.areas, fs.areas),
                         (cat.filters.zero_points, fs.zero_points)):
        assert same(ours, theirs)
    p = cat.provenance
    assert (p["GRIDFILE"], p["NGALAXY"], p["PHYUNITS"], p["TCUTGYR"], p["SHARDN"]) == ("grid.in", 4, 1e-17, 1.0, 1)
    assert p["CREATOR"] == f"veltrane {veltrane.__version__}" and "CHECKSUM" not in p and "FILT1" not in p
    assert cat.flux_unit == (FLUX_UNIT if layout == 2 else None) and cat.inputs is None
    for i, galaxy in enumerate(GALAXIES):
        spc, points = tables[galaxy][1], cat.wavelength.size  # the tables' columns run on to the observation's length
        assert same(cat.wavelength, column(spc, "lambda")[:points]) and np.isnan(column(spc, "lambda")[points:]).all()
        for word in ("total", "young", "old"):
            assert same(cat.spectra(word)[i], column(spc, f"flux_{word}")[:points])


def test_a_selection_holds_its_rows_only_and_leaves_no_file_open(example):
    cat = veltrane.read_catalog(example / "survey.fits")
    with warnings.catch_warnings():
        warnings.simplefilter("error", ResourceWarning)
        pick = cat[[3, 0]]
        far = cat[(cat.status & Status.NO_DISTANCE) != 0]
        gc.collect()
    assert list(pick.name) == ["gal04", "gal01"] and list(far.name) == ["gal03"] and len(cat[1:3]) == 2
    full = cat.magnitudes(system="ab", component="young")
    assert same(pick.magnitudes(system="ab", component="young"), full[[3, 0]])
    assert same(pick.spectra("old"), cat.spectra("old")[[3, 0]])
    assert same(pick.log_mass["old_m2"], cat.log_mass["old_m2"][[3, 0]])
    assert cat[~cat.usable].magnitudes(system="ab", component="obs").shape == (0, 10)
    assert not pick.name.flags.writeable and not cat.log_mass["total_m3"].flags.writeable


def test_a_galaxy_without_its_synthesis_result_has_no_values(example):
    status, _ = run_veltrane(example, "--catalog", "lost.fits", "gal_99%_ü", "50", "galaxies/", "base/", "filters/",
                             "1.0", "1.0E-17", "0", "0", "0")
    assert status == 0
    cat = veltrane.read_catalog(example / "lost.fits")
    assert (cat.name[0], cat.result[0]) == ("gal_99%_ü", "galaxies/gal_99%_ü")  # written gal_99%25_%C3%BC
    assert Status(int(cat.status[0])) == Status.PROCESSED | Status.FAILED | Status.RESULT_UNREAD
    assert cat.filters is None and not cat.usable[0] and np.isnan(cat.log_mass["total_m3"][0])
    counts = cat.status_counts()
    assert (counts["processed"], counts["failed"], counts["result_unread"], counts["usable"]) == (1, 1, 1, 0)
    with pytest.raises(ValueError, match="holds no magnitudes"):
        cat.magnitudes(system="ab", component="total")
    with pytest.raises(ValueError, match="holds no spectra"):
        cat.spectra("total")


def test_a_filter_list_of_no_filter_gives_no_magnitudes(example):
    shutil.copytree(example / "filters", example / "nofilters")
    (example / "nofilters" / "ListFilters.txt").write_text("0\n")
    assert run_veltrane(example, "--catalog", "none.fits", "gal01", "45", "galaxies/", "base/", "nofilters/", "1.0",
                        "1.0E-17", "0", "0", "0")[0] == 0
    cat = veltrane.read_catalog(example / "none.fits")
    assert cat.filters.names.size == 0 and cat.magnitudes(system="ab", component="obs").shape == (1, 0)
    assert cat.table(system="ab", component="obs").colnames[-1] == "log_mass_old_m2" and cat.usable[0]


def test_wrong_arguments_say_what_is_known(example, monkeypatch):
    cat = veltrane.read_catalog(example / "survey.fits")
    assert not cat.filters.zero_points.flags.writeable
    for call, error, words in [
            (lambda: cat.magnitudes("John_Q.dat", system="ab", component="obs"), KeyError, "John_U.dat, John_B.dat"),
            (lambda: cat.magnitudes(10, system="ab", component="obs"), IndexError, "has 10"),
            (lambda: cat.magnitudes(system="johnson", component="obs"), ValueError, "vega, vegabg04"),
            (lambda: cat.magnitudes(system="ab", component="model"), ValueError, "obs, total, young, old"),
            (lambda: cat.spectra("obs"), ValueError, "model spectra only"),
            (lambda: veltrane.Catalog(), TypeError, "read_catalog"),
            (lambda: setattr(cat, "name", None), AttributeError, "read-only")]:
        with pytest.raises(error, match=words):
            call()
    monkeypatch.setitem(sys.modules, "astropy.io.fits", None)
    with pytest.raises(ImportError, match="read_catalog needs astropy"):
        veltrane.read_catalog(example / "survey.fits")


def damage(path, work):
    """(name, file, reason) of every way a file is not a whole catalogue."""
    size = os.path.getsize(path)
    with fits.open(path) as hdus:
        galaxies_at = hdus["GALAXIES"].fileinfo()["datLoc"]
        wavelength_at = hdus["WAVELENGTH"].fileinfo()["hdrLoc"]
        hdus[0].header["VTFORMAT"] = 3
        hdus.writeto(work / "layout3.fits", checksum=True)
        hdus[0].header["VTFORMAT"] = 2
        hdus["SPECTRA"].data = hdus["SPECTRA"].data[[3, 2, 1, 0]]
        hdus.writeto(work / "reversed.fits", checksum=True)
    fits.BinTableHDU.from_columns([fits.Column("X", "E", array=np.ones(3))]).writeto(work / "other.fits")
    whole = path.read_bytes()
    cuts = {"cut.fits": whole[:size - 1000], "header.fits": whole[:wavelength_at + 100],
            "boundary.fits": whole[:wavelength_at], "tail.fits": whole[:wavelength_at] + b"\0" * 2880,
            "empty.fits": b""}
    for name, data in cuts.items():
        (work / name).write_bytes(data)
    flipped = bytearray(whole)
    flipped[galaxies_at + 10] ^= 1
    (work / "flipped.fits").write_bytes(bytes(flipped))
    cut = "cut short: it ends after its FILTERS table ({} bytes), without its WAVELENGTH table"
    return [("missing", work / "none.fits", "No such file or directory"),
            ("directory", work, "a directory"),
            ("empty", work / "empty.fits", "not a FITS file (empty)"),
            ("text", work / "grid.in", "not a FITS file"),
            ("foreign", work / "other.fits", "a FITS file, but not a Veltrane catalogue"),
            ("layout 3", work / "layout3.fits", "a Veltrane catalogue of layout 3 (veltrane "),
            ("cut in a table", work / "cut.fits", f"cut short: {size - 1000} of {size} bytes"),
            ("cut in a header", work / "header.fits", cut.format(wavelength_at + 100)),
            ("cut between tables", work / "boundary.fits", cut.format(wavelength_at)),
            ("a table missing", work / "tail.fits", "damaged: no WAVELENGTH table"),
            ("spectra of other rows", work / "reversed.fits", "SPECTRA rows are not the galaxies of its GALAXIES rows"),
            ("checksum", work / "flipped.fits", "damaged (checksum of its GALAXIES table)")]


def test_a_file_that_is_no_whole_catalogue_is_refused_with_its_reason(example, tmp_path):
    shutil.copy(example / "grid.in", tmp_path)
    for name, path, reason in damage(example / "survey.fits", tmp_path):
        with pytest.raises(veltrane.InputFileError, match=reason.replace("(", r"\(").replace(")", r"\)")) as e:
            veltrane.read_catalog(path, verify=True)
        assert e.value.path == str(path) and reason in e.value.reason and str(e.value).startswith(
            f"cannot read the catalogue: {path}: "), name
    assert len(veltrane.read_catalog(tmp_path / "flipped.fits")) == 4  # checksums read only with verify


def selections(survey, work):
    """(file, with FILTERS) of GALAXIES copied alone by astropy, and its usable rows selected by
    STILTS (fits-plus: keywords as VOTable parameters) with and without FILTERS."""
    with fits.open(survey) as hdus:
        fits.HDUList([fits.PrimaryHDU(), hdus["GALAXIES"]]).writeto(work / "alone.fits")
    made = [(work / "alone.fits", False)]
    if shutil.which("stilts"):
        select = 'select "(STATUS & 3) == 1"'
        subprocess.run(["stilts", "tmultin", "nin=2", f"in1={survey}#GALAXIES", f"icmd1={select}", f"in2={survey}#FILTERS",
                        f"out={work / 'both.fits'}"], check=True, capture_output=True)
        subprocess.run(["stilts", "tpipe", f"in={survey}#GALAXIES", f"cmd={select}", f"out={work / 'good.fits'}"],
                       check=True, capture_output=True)
        made += [(work / "both.fits", True), (work / "good.fits", False)]
    return made


def test_a_galaxies_table_copied_or_selected_alone_and_a_replaced_file(example, tmp_path):
    survey = tmp_path / "survey.fits"
    shutil.copy(example / "survey.fits", survey)
    cat = veltrane.read_catalog(survey)
    for path, with_filters in selections(survey, tmp_path) if cat.layout >= 2 else []:
        copy = veltrane.read_catalog(path)  # the filter names and the provenance in GALAXIES' keywords
        assert list(copy.filters.names) == list(cat.filters.names) and same(copy.filters.lambda_eff,
                                                                            cat.filters.lambda_eff)
        assert same(copy.filters.areas, cat.filters.areas) if with_filters else np.isnan(copy.filters.areas).all()
        assert copy.wavelength is None and copy.provenance["NGALAXY"] == 4 and copy.provenance["GRIDFILE"] == "grid.in"
        assert same(copy.magnitudes(system="tg", component="old"), cat.magnitudes(system="tg", component="old"))
    shutil.copy(example / "grid.in", survey)
    with pytest.raises(veltrane.InputFileError, match="changed since it was read"):
        cat.magnitudes(system="ab", component="obs")
