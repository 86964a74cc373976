"""What the catalogue checks share (fits_tools_test.py, catalog_edges_test.py): the tools under
test from the command line, the columns' units, a scratch copy of the bundled example, the
guides' tested blocks, and the list of problems found.

Both scripts take: CHECK MAKE_CATALOG VELTRANE_MERGE VELTRANE.
"""

import os
import shutil
import subprocess
import sys

CHECK = sys.argv[1]
MAKE, MERGE, VELTRANE = (os.path.abspath(a) for a in sys.argv[2:5])
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
GUIDE = os.path.join(ROOT, "docs", "cluster.md")
# Unit of every column that has one (the others have none).
UNITS = {"DISTANCE": "Mpc", "AV": "mag", "LAMBDA_EFF": "Angstrom", "AREA": "Angstrom", "LAMBDA": "Angstrom"}
SYSTEMS = ["VEGA", "VEGABG04", "AB", "TG", "WFPC2", "FOCA", "NOCALIB"]
for slot in ["OBS", "TOT", "YOUNG", "OLD"]:
    UNITS.update({f"MAG_{slot}_{s}": "mag" for s in SYSTEMS})
UNITS.update({f"ZP_{s}": "mag" for s in SYSTEMS})
UNITS.update({f"LOGMASS_{p}_{m}": "log(solMass)" for p in ["TOTAL", "YOUNG", "OLD"] for m in ["M3", "M2"]})
UNITS.update({f"FLUX_{p}": "erg/(s.cm2.Angstrom)" for p in ["TOTAL", "YOUNG", "OLD"]})
MASSES = [f"LOGMASS_{p}_{m}" for p in ("TOTAL", "YOUNG", "OLD") for m in ("M3", "M2")]
CATALOG_DOC = os.path.join(ROOT, "docs", "catalog.md")
HDUS = ["GALAXIES", "FILTERS", "WAVELENGTH", "SPECTRA"]

problems = []


def check(ok, what):
    if not ok:
        problems.append(what)
    return ok


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def need(tool):
    if shutil.which(tool) is None:
        print(f"skipped: no {tool}")
        sys.exit(77)


def guide_block(name, doc=GUIDE):
    """The script the guide marks "<!-- tested: NAME -->": its indented block, unindented."""
    lines = open(doc).read().split("\n")
    at = lines.index(f"<!-- tested: {name} -->") + 1
    while not lines[at]:
        at += 1
    block = []
    while at < len(lines) and (lines[at].startswith("    ") or not lines[at]):
        block.append(lines[at][4:])
        at += 1
    return "\n".join(block).strip("\n") + "\n"


def left_in(directory):
    return sorted(os.listdir(directory))


def example(work, name, galaxies, printfil=2):
    """A copy of the bundled example in work/name whose grid (grid.in) lists `galaxies`
    (name, distance) with PrintFil `printfil`; each name not in the example is a copy of a
    galaxy of it ("gal02_7" of gal02)."""
    d = os.path.join(work, name)
    shutil.copytree(os.path.join(ROOT, "examples"), d)
    for g, _ in galaxies:
        src = os.path.join(d, "galaxies", g.split("_")[0])
        if not os.path.exists(os.path.join(d, "galaxies", g)) and os.path.exists(src):
            shutil.copy(src, os.path.join(d, "galaxies", g))
    with open(os.path.join(d, "grid.in")) as f:
        params = f.read().split("\n")[:9]
    params[0] = f"{len(galaxies):15d}"
    params[7] = f"{printfil:15d}"
    open(os.path.join(d, "grid.in"), "w").write("\n".join(params + [f"{g} {dist}" for g, dist in galaxies]) + "\n")
    return d


def galaxies_bytes(path):
    from astropy.io import fits

    with fits.open(path) as f:
        return f["GALAXIES"].data.tobytes()


def verified(path):
    r = run(["fitsverify", path])
    return check("**** Verification found 0 warning(s) and 0 error(s). ****" in r.stdout, f"fitsverify {path}:\n{r.stdout}")


def report():
    for p in problems[:30]:
        print("FAIL:", p)
    print(f"{CHECK}: {len(problems)} problem(s)")
    return 1 if problems else 0
