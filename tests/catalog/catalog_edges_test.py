#!/usr/bin/python3
"""The catalogue at its edges, on veltrane's own catalogues of the bundled example (examples/).

Usage: catalog_edges_test.py CHECK MAKE_CATALOG VELTRANE_MERGE VELTRANE
  CHECK: select | edges | layout1   (exit 77, a skip, without the tool)

  select   docs/catalog.md's selections (blocks select.py, select.sh) keep FILTERS, the
           filter names and the provenance;
  edges    --catalog into a directory that does not exist, one that cannot be written (as an
           unprivileged user), with a file-size limit, onto another program's FITS file:
           standard output and status as for any catalogue that cannot be written (or
           refused), standard error names the file and the reason, nothing is left;
  layout1  a catalogue of layout 1 (its units, masses without a distance) is merged and
           continued into layout 2, its rows as this version writes them.
"""

import os
import shutil
import sys
import tempfile

from fits_common import (CATALOG_DOC, CHECK, HDUS, MAKE, MASSES, MERGE, VELTRANE, check, example,
                         galaxies_bytes, guide_block, left_in, need, report, run, verified)


def check_select(work):
    """docs/catalog.md's selections, astropy's and STILTS's, on a catalogue with a failed galaxy."""
    need("stilts")
    need("fitsverify")
    from astropy.io import fits
    from astropy.table import Table

    d = example(work, "select", [("gal01", "45.0"), ("nothere", "1.0"), ("gal03", "0.0"), ("gal04", "180.0")], 0)
    run([VELTRANE, "--catalog-spectra", "--catalog", "survey.fits", "grid.in"], cwd=d, check=True)
    sha = fits.getheader(os.path.join(d, "survey.fits"))["GRIDSHA"]
    r = run(["/usr/bin/python3", "-c", guide_block("select.py", CATALOG_DOC)], cwd=d)
    check(r.returncode == 0 and sha in r.stdout and "gal04" in r.stdout, f"select.py: {r}")
    with fits.open(os.path.join(d, "good.fits")) as f:
        check([h.name for h in f] == ["PRIMARY"] + HDUS, f"select.py kept {[h.name for h in f]}")
        check(f[0].header["GRIDSHA"] == sha and f["GALAXIES"].header["FILT3"] == "John_V.dat", "select.py headers")
        check(list(f["GALAXIES"].data["NAME"]) == ["gal01", "gal03", "gal04"], "select.py rows")
        check(list(f["SPECTRA"].data["GRID_ROW"]) == [1, 3, 4], "select.py spectra rows")
    verified(os.path.join(d, "good.fits"))
    r = run(["bash", "-c", guide_block("select.sh", CATALOG_DOC)], cwd=d)
    check(r.returncode == 0 and "FILT3: John_V.dat\n" in r.stdout and f"GRIDSHA: {sha}\n" in r.stdout,
          f"select.sh: {r}")
    stilts_filters = Table.read(os.path.join(d, "good-stilts.fits"), hdu=2)
    check(len(stilts_filters) == 10 and stilts_filters["FILTER"][2] == "John_V.dat", "select.sh: FILTERS")
    check(len(Table.read(os.path.join(d, "good-stilts.fits"), hdu=1)) == 3, "select.sh: GALAXIES")


def hidden_or_fits(directory):
    return [f for f in left_in(directory) if f.startswith(".") or f.endswith(".fits")]


def check_edges(work):
    """--catalog where it cannot be written, or onto another program's FITS file."""
    from astropy.io import fits
    import numpy as np

    d = example(work, "edges", [("gal01", "45.0"), ("gal02", "120.0"), ("gal03", "0.0"), ("gal04", "180.0")], 0)
    plain = run([VELTRANE, "grid.in"], cwd=d).stdout
    echo = plain[: plain.index("    ... arq_synt")]
    fits.BinTableHDU.from_columns([fits.Column(name="X", format="E", array=np.zeros(3, "f4"))]).writeto(
        os.path.join(d, "myphot.fits"))
    kept = open(os.path.join(d, "myphot.fits"), "rb").read()
    os.mkdir(os.path.join(d, "ro"), 0o555)
    os.chmod(work, 0o755)
    for root, dirs, _ in os.walk(d):
        os.chmod(root, 0o555 if root.endswith("/ro") else 0o755)
    as_nobody = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
    nobody = os.geteuid() == 0 and shutil.which("setpriv") is not None
    cases = [("no such directory", [], "nodir/c.fits", "No such file or directory", True),
             ("a file-size limit", ["bash", "-c", 'ulimit -f 40; exec "$0" "$@"'], "big.fits", "File too large", True),
             ("another program's FITS file", [], "myphot.fits", None, False)]
    if nobody:
        cases.append(("a directory it cannot write", as_nobody, "ro/c.fits", "Permission denied", True))
    else:
        print("not root or no setpriv: the unwritable directory is not tried")
    for what, prefix, name, reason, written in cases:
        r = run(prefix + [VELTRANE, "--catalog-spectra", "--catalog", name, "grid.in"], cwd=d)
        check(r.returncode == 1, f"{what}: status {r.returncode}")
        if written:  # the console as far as it got, then the line it has always had
            line = f"    ... ERROR -> Cannot write {name}\n"
            check(r.stdout.endswith(line) and plain.startswith(r.stdout[: -len(line)]) and
                  r.stdout.startswith(echo), f"{what}: stdout {r.stdout[-300:]}")
            check(f"veltrane: {name}: cannot be written: {reason}\n" in r.stderr, f"{what}: {r.stderr}")
        else:
            check(r.stdout == echo, f"{what}: stdout {r.stdout}")
            check(f"veltrane: --catalog: {name} exists and is a FITS file, but not a Veltrane catalogue; it is "
                  "left as it is\n" in r.stderr, f"{what}: {r.stderr}")
        check(sum(f"{name}: " in line or f"{name} exists" in line for line in r.stderr.splitlines()) == 1,
              f"{what}: said once: {r.stderr}")
        check("processed, 0 failed" not in r.stderr or "the run stopped " in r.stderr,
              f"{what}: the summary says the run stopped: {r.stderr}")
        left = hidden_or_fits(d) + hidden_or_fits(os.path.join(d, "ro"))
        check(left == ["myphot.fits"], f"{what}: left {left}")
    check(open(os.path.join(d, "myphot.fits"), "rb").read() == kept, "another program's FITS file changed")


def as_layout1(path):
    """The catalogue at `path` as layout 1 wrote it: its units, no filter keywords, and the
    tables' masses for a galaxy without a distance (-42.9 here)."""
    from astropy.io import fits

    with fits.open(path, mode="update", checksum=False) as f:
        f[0].header["VTFORMAT"] = 1
        g = f["GALAXIES"]
        for k in [k for k in g.header if k.startswith(("FILT", "LEFF")) and k[4:].isdigit()]:
            del g.header[k]
        for c in MASSES:
            g.columns.change_attrib(c, "unit", "solMass")
            g.data[c][(g.data["STATUS"] & 17) == 17] = -42.9
        if "SPECTRA" in [h.name for h in f]:
            for c in ("FLUX_TOTAL", "FLUX_YOUNG", "FLUX_OLD"):
                f["SPECTRA"].columns.change_attrib(c, "unit", "")
        for h in f:
            h.add_checksum()


def check_layout1(work):
    need("fitsverify")
    try:
        from astropy.io import fits
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    # Shards of layout 1 merge into the catalogue this version writes for the whole grid.
    made = {"single": os.path.join(work, "single.fits")}
    run([MAKE, made["single"], "--spectra", "30"], check=True)
    for k in (1, 2):
        made[k] = os.path.join(work, f"old-{k}.fits")
        run([MAKE, made[k], "--spectra", "30", "--shard", f"{k}/2"], check=True)
        as_layout1(made[k])
        check(fits.getheader(made[k], "GALAXIES")["TUNIT8"] == "solMass", "as_layout1")
    r = run([MERGE, os.path.join(work, "merged.fits"), made[1], made[2]])
    check(r.returncode == 0, f"layout 1 merged: {r}")
    merged = os.path.join(work, "merged.fits")
    verified(merged)
    check(fits.getheader(merged)["VTFORMAT"] == 2, "merged layout")
    check(galaxies_bytes(merged) == galaxies_bytes(made["single"]), "layout 1 rows merged differ from layout 2's")
    run([MAKE, os.path.join(work, "new-2.fits"), "--spectra", "30", "--shard", "2/2"], check=True)
    r = run([MERGE, os.path.join(work, "mixed.fits"), made[1], os.path.join(work, "new-2.fits")])
    check(r.returncode == 2 and "written in another catalogue layout: 2 here, 1 there" in r.stderr, f"mixed: {r}")
    # A run continues a catalogue of layout 1 into the one it would have written.
    four = [("gal01", "45.0"), ("gal02", "120.0"), ("gal03", "0.0"), ("gal04", "180.0")]
    d = example(work, "continued", four, 0)
    run([VELTRANE, "--catalog", "whole.fits", "grid.in"], cwd=d, check=True)
    shutil.copy(os.path.join(d, "whole.fits"), os.path.join(d, "c.fits"))
    as_layout1(os.path.join(d, "c.fits"))
    r = run([VELTRANE, "--skip-existing", "--catalog", "c.fits", "grid.in"], cwd=d)
    check(r.returncode == 0 and "0 galaxies processed, 0 failed, 4 skipped" in r.stderr, f"continued: {r}")
    check(galaxies_bytes(os.path.join(d, "c.fits")) == galaxies_bytes(os.path.join(d, "whole.fits")),
          "a continued layout 1 catalogue differs from layout 2's")


def main():
    with tempfile.TemporaryDirectory(prefix="veltrane-edges-") as work:
        {"select": check_select, "edges": check_edges, "layout1": check_layout1}[CHECK](work)
    return report()


if __name__ == "__main__":
    sys.exit(main())
