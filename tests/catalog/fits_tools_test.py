#!/usr/bin/python3
"""Catalogues checked with the tools astronomers read them with.

Usage: fits_tools_test.py CHECK MAKE_CATALOG VELTRANE_MERGE
  CHECK: fitsverify | astropy | fitsio | stilts | robustness   (exit 77, a skip, without the tool)

In a scratch directory make_catalog writes the synthetic survey of tests/catalog/sample.h
(failed galaxies, one without a result, a non-ASCII name, -999.0 values, spectra) as one
catalogue and as three shards, and veltrane-merge joins the shards. Then:
  fitsverify  0 errors and 0 warnings on each of them;
  astropy     every HDU and column read with its unit, type, TCOMM and TUCD; NaN where a
              table holds -999; the guide's vstack of the shards (docs/cluster.md, block
              vstack.py) equals the merged catalogue;
  fitsio      every column equal to astropy's, units in the headers;
  stilts      tpipe reads every HDU; the guide's tcat of the shards (block tcat.sh) equals
              the merged catalogue;
  robustness  a file-size limit (ulimit -f) on the writer and on the merge: "Cannot write",
              status 1, no file at the catalogue's name and no temporary file; a writer killed
              after its rows leaves nothing under the name, one finished there leaves a valid
              catalogue; a catalogue cut short is refused by the merge (status 1); a merge of
              more shards than it may open files at once.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

CHECK = sys.argv[1]
MAKE, MERGE = (os.path.abspath(a) for a in sys.argv[2:4])
GUIDE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "cluster.md")
SHARDS = 3
# Unit of every column that has one (the others have none).
UNITS = {"DISTANCE": "Mpc", "AV": "mag", "LAMBDA_EFF": "Angstrom", "AREA": "Angstrom", "LAMBDA": "Angstrom"}
SYSTEMS = ["VEGA", "VEGABG04", "AB", "TG", "WFPC2", "FOCA", "NOCALIB"]
for slot in ["OBS", "TOT", "YOUNG", "OLD"]:
    UNITS.update({f"MAG_{slot}_{s}": "mag" for s in SYSTEMS})
UNITS.update({f"ZP_{s}": "mag" for s in SYSTEMS})
UNITS.update({f"LOGMASS_{p}_{m}": "solMass" for p in ["TOTAL", "YOUNG", "OLD"] for m in ["M3", "M2"]})
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


def guide_block(name):
    """The script the guide marks "<!-- tested: NAME -->": its indented block, unindented."""
    lines = open(GUIDE).read().split("\n")
    at = lines.index(f"<!-- tested: {name} -->") + 1
    while not lines[at]:
        at += 1
    block = []
    while at < len(lines) and (lines[at].startswith("    ") or not lines[at]):
        block.append(lines[at][4:])
        at += 1
    return "\n".join(block).strip("\n") + "\n"


def catalogues(work):
    """The single-process catalogue, the shards (catalog/shard-K.fits, as the guide names
    them) and their merge; their paths."""
    made = {"single": os.path.join(work, "single.fits")}
    run([MAKE, made["single"], "--spectra", "30"], check=True)
    os.mkdir(os.path.join(work, "catalog"))
    for k in range(1, SHARDS + 1):
        made[f"shard{k}"] = os.path.join(work, "catalog", f"shard-{k}.fits")
        run([MAKE, made[f"shard{k}"], "--spectra", "30", "--shard", f"{k}/{SHARDS}"], check=True)
    made["merged"] = os.path.join(work, "merged.fits")
    r = run([MERGE, made["merged"]] + [made[f"shard{k}"] for k in range(1, SHARDS + 1)])
    check(r.returncode == 0, f"merge: {r.returncode} {r.stderr}")
    return made


def same_columns(a, b, what):
    import numpy as np

    check(a.colnames == b.colnames, f"{what}: columns {a.colnames} / {b.colnames}")
    for c in a.colnames:
        x, y = np.asarray(a[c]), np.asarray(b[c])
        check(x.shape == y.shape and np.array_equal(x, y, equal_nan=x.dtype.kind == "f"), f"{what}: column {c}")


def check_fitsverify(made):
    need("fitsverify")
    # Texts longer than a card (CONTINUE cards) and bytes outside ASCII in the header and rows.
    made["long"] = os.path.join(os.path.dirname(made["single"]), "long.fits")
    run([MAKE, made["long"], "--spectra", "30", "--path-dir", "/data/" + "d" * 150 + "/M\u00fcller's/"], check=True)
    for name, path in made.items():
        r = run(["fitsverify", path])
        check("**** Verification found 0 warning(s) and 0 error(s). ****" in r.stdout, f"fitsverify {name}:\n{r.stdout}")


def check_astropy(made):
    try:
        import numpy as np
        from astropy.io import fits
        from astropy.table import Table, vstack
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    with fits.open(made["single"]) as f:
        check([h.name for h in f] == ["PRIMARY"] + HDUS, f"HDUs {[h.name for h in f]}")
        for h in f[1:]:
            for i, col in enumerate(h.columns, start=1):
                check(str(col.unit or "") == UNITS.get(col.name, ""), f"{h.name}.{col.name}: unit {col.unit}")
                check(h.header.get(f"TCOMM{i}", "") != "", f"{h.name}.{col.name}: no TCOMM")
                check(h.header.get(f"TUCD{i}", "") != "", f"{h.name}.{col.name}: no TUCD")
    g = Table.read(made["single"], hdu="GALAXIES")
    for c in g.colnames:
        want = UNITS.get(c)
        check((str(g[c].unit) if g[c].unit is not None else None) == want, f"astropy unit of {c}: {g[c].unit}")
    check(g["NAME"][2] == "gal00003_%C3%BC", f"escaped name {g['NAME'][2]!r}")
    check(g["STATUS"].dtype.kind == "i" and g["STATUS"].dtype.itemsize == 4, "STATUS type")
    check(g["MAG_TOT_AB"].dtype.kind == "f" and g["MAG_TOT_AB"].dtype.itemsize == 4, "magnitude type")
    # Galaxy 7 failed: every fifth magnitude of the fixed tables was -999.0, and its old masses.
    mags = np.asarray(g["MAG_OBS_VEGA"][6], dtype=np.float32)
    check(np.isnan(mags[0]) and not np.isnan(mags[1]), f"galaxy 7 MAG_OBS_VEGA {mags}")
    check(np.isnan(float(np.asarray(g["LOGMASS_OLD_M3"])[6])), "galaxy 7 old mass not NaN")
    check(np.float32(g["LOGMASS_TOTAL_M3"][1]) == np.float32(9.0) + np.float32(0.002), "galaxy 2 mass")
    for h in HDUS:
        Table.read(made["merged"], hdu=h)
    here = os.getcwd()
    os.chdir(os.path.dirname(made["merged"]))
    guide = {}
    exec(guide_block("vstack.py"), guide)
    os.chdir(here)
    same_columns(Table.read(made["merged"], hdu="GALAXIES"), guide["survey"], "the guide's vstack of the shards")
    same_columns(Table.read(made["merged"], hdu="GALAXIES"), g, "merged against single")


def check_fitsio(made):
    try:
        import fitsio
        import numpy as np
        from astropy.table import Table
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    with fitsio.FITS(made["merged"]) as f:
        for h in HDUS:
            data, header = f[h].read(), f[h].read_header()
            ref = Table.read(made["merged"], hdu=h)
            for i, name in enumerate(data.dtype.names, start=1):
                check(header.get(f"TUNIT{i}", "") == UNITS.get(name, ""), f"fitsio {h}.{name}: TUNIT")
                x = np.asarray(data[name])
                if x.dtype.kind in "SU":
                    want = [str(v) if v is not np.ma.masked else "" for v in ref[name]]
                    check([str(v) for v in x.astype(str)] == want, f"fitsio {h}.{name}")
                    continue
                y = np.asarray(ref[name]).reshape(x.shape)
                check(np.array_equal(x, y, equal_nan=x.dtype.kind == "f"), f"fitsio {h}.{name}")


def check_stilts(made):
    need("stilts")
    for i, h in enumerate(HDUS, start=1):
        r = run(["stilts", "tpipe", f"in={made['merged']}#{h}", "omode=count"])
        rows = {"WAVELENGTH": 1, "FILTERS": 5}.get(h, 40)
        check(r.returncode == 0 and r.stdout.split()[-1] == str(rows), f"stilts tpipe {h}: {r.stdout} {r.stderr}")
    r = run(["stilts", "tpipe", f"in={made['merged']}", "omode=meta"])
    check("DISTANCE(Float)/Mpc" in r.stdout and "LOGMASS_OLD_M2(Float)/solMass" in r.stdout, "stilts units")
    work = os.path.dirname(made["merged"])
    r = run(["bash", "-c", guide_block("tcat.sh")], cwd=work)
    check(r.returncode == 0, f"the guide's stilts tcat: {r.stderr}")
    tcat = os.path.join(work, "survey-tcat.fits")
    try:
        from astropy.table import Table
    except ImportError:
        return
    same_columns(Table.read(made["merged"], hdu="GALAXIES"), Table.read(tcat), "the guide's stilts tcat")


def left_in(directory):
    return sorted(os.listdir(directory))


def check_robustness(work):
    big = os.path.join(work, "limit")
    os.mkdir(big)
    # A file-size limit: the writer and the merge fail cleanly.
    r = run(["bash", "-c", f'ulimit -f 200; trap "" XFSZ; exec "{MAKE}" big.fits --galaxies 60 --spectra 3000'],
            cwd=big)
    check(r.returncode == 1 and r.stdout == "    ... ERROR -> Cannot write big.fits\n", f"writer limit: {r}")
    check(left_in(big) == [], f"writer limit left {left_in(big)}")
    for k in (1, 2):
        run([MAKE, f"s{k}.fits", "--galaxies", "60", "--spectra", "3000", "--shard", f"{k}/2"], cwd=big, check=True)
    r = run(["bash", "-c", f'ulimit -f 2000; trap "" XFSZ; exec "{MERGE}" all.fits s1.fits s2.fits'], cwd=big)
    check(r.returncode == 1 and "veltrane-merge: cannot write all.fits: " in r.stderr, f"merge limit: {r}")
    check(left_in(big) == ["s1.fits", "s2.fits"], f"merge limit left {left_in(big)}")

    # Killed after its rows: nothing under the name (its hidden temporary files stay).
    held = os.path.join(work, "held")
    os.mkdir(held)
    for ending in ("kill", "finish"):
        p = subprocess.Popen([MAKE, "c.fits", "--spectra", "50", "--hold"], cwd=held, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
        check(p.stdout.readline() == "appended\n", "make_catalog --hold")
        check("c.fits" not in left_in(held), f"a catalogue under its name before it is finished: {left_in(held)}")
        if ending == "kill":
            p.send_signal(signal.SIGKILL)
            p.wait()
            check(left_in(held) and "c.fits" not in left_in(held), f"killed: {left_in(held)}")
            for f in left_in(held):
                check(f.startswith(".") and len(f) <= len("c.fits"), f"temporary file {f}")
                os.remove(os.path.join(held, f))
        else:
            p.communicate("finish\n")
            check(p.returncode == 0 and left_in(held) == ["c.fits"], f"finished: {left_in(held)}")
            r = run([MERGE, "again.fits", "c.fits"], cwd=held)
            check(r.returncode == 0, f"a finished catalogue refused: {r.stderr}")
    # More shards than open files allowed (a thousand shards under the usual limit of 1,024).
    many = os.path.join(work, "many")
    os.mkdir(many)
    names = [f"s{k}.fits" for k in range(1, 61)]
    for k, name in enumerate(names, start=1):
        run([MAKE, name, "--galaxies", "120", "--shard", f"{k}/60"], cwd=many, check=True)
    r = run(["bash", "-c", f'ulimit -n 50; exec "{MERGE}" all.fits ' + " ".join(names)], cwd=many)
    check(r.returncode == 0 and "120 galaxies from 60 inputs" in r.stderr, f"60 shards, 50 files: {r}")
    # Cut short (a copy that died half-way): refused as damaged.
    data = open(os.path.join(held, "c.fits"), "rb").read()
    for cut in (2880 * 3, len(data) // 2, len(data) - 2880):
        open(os.path.join(held, "cut.fits"), "wb").write(data[:cut])
        r = run([MERGE, "out.fits", "cut.fits"], cwd=held)
        check(r.returncode == 1 and not os.path.exists(os.path.join(held, "out.fits")), f"cut at {cut}: {r}")


def main():
    with tempfile.TemporaryDirectory(prefix="veltrane-fits-") as work:
        if CHECK == "robustness":
            check_robustness(work)
        else:
            made = catalogues(work)
            {"fitsverify": check_fitsverify, "astropy": check_astropy, "fitsio": check_fitsio,
             "stilts": check_stilts}[CHECK](made)
    for p in problems[:30]:
        print("FAIL:", p)
    print(f"{CHECK}: {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
