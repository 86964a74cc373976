#!/usr/bin/python3
"""Catalogues checked with the tools astronomers read them with.

Usage: fits_tools_test.py CHECK MAKE_CATALOG VELTRANE_MERGE VELTRANE
  CHECK: fitsverify | astropy | fitsio | stilts | robustness | run | restart
         (exit 77, a skip, without the tool)

In a scratch directory make_catalog writes the synthetic survey of tests/catalog/sample.h
(failed galaxies, one without a result, a non-ASCII name, -999.0 values, spectra) as one
catalogue and as three shards, and veltrane-merge joins the shards. Then:
  fitsverify  0 errors and 0 warnings on each of them;
  astropy     every HDU and column read with its unit, type, TCOMM and TUCD; QTable gives
              the log masses no solar-mass unit; NaN where a table holds -999 and masses
              NaN without a distance; FILTk names the filters of FILTERS; the guide's vstack
              of the shards (docs/cluster.md, block vstack.py) equals the merged catalogue;
  fitsio      every column equal to astropy's, units in the headers;
  stilts      tpipe reads every HDU and shows the units; a GALAXIES table selected and
              written alone still names each element's filter; the guide's tcat of the
              shards (block tcat.sh) equals the merged catalogue;
  robustness  a file-size limit (ulimit -f) on the writer and on the merge: "Cannot write",
              status 1, no file at the catalogue's name and no temporary file; a writer killed
              after its rows leaves nothing under the name, one finished there leaves a valid
              catalogue; a catalogue cut short is refused by the merge (status 1); a merge of
              more shards than it may open files at once.
The checks "run" and "restart" take veltrane's own catalogues of the bundled example
(examples/); catalog_edges_test.py has more of them:
  run         the catalogue's magnitudes equal the ECSV tables' as float32 bit for bit, its
              masses the .MAG.out values at their printed precision, the console and tables
              are those of a run without it; fitsverify 0/0 on the example's catalogue, on a
              run with damaged galaxies (a result cut short, a missing one, a name too long)
              and on three shards and their merge, which equals the single process's;
  restart     SIGTERM after two galaxies leaves a valid catalogue of them, status 143; the
              restart with --skip-existing ends with the GALAXIES data of an uninterrupted
              run byte for byte, and so does one after a run that stopped (a missing SSP
              file); a catalogue of another run, or a damaged one, is refused untouched; a
              file-size limit gives "Cannot write", status 1, and no file.
"""

import os
import signal
import subprocess
import sys
import tempfile

from fits_common import (CHECK, HDUS, MAKE, MASSES, MERGE, SYSTEMS, UNITS, VELTRANE, check, example,
                         galaxies_bytes, guide_block, left_in, need, report, run, verified)

SHARDS = 3


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
    # Log masses: no quantity in solar masses; without a distance (galaxy 13) NaN, bit 16.
    import warnings
    import astropy.units as u
    from astropy.table import QTable
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", u.UnitsWarning)
        q = QTable.read(made["single"], hdu="GALAXIES")
    for c in MASSES:
        check(str(q[c].unit) == "log(solMass)" and not q[c].unit.is_equivalent(u.solMass), f"QTable {c}: {q[c].unit!r}")
    check(int(g["STATUS"][12]) & 16 and all(np.isnan(np.ma.filled(g[c], np.nan)[12]) for c in MASSES),
          "galaxy 13's masses")
    # FILTk and LEFFk name the array elements: the rows of FILTERS, in order.
    f = Table.read(made["single"], hdu="FILTERS")
    check([g.meta[f"FILT{k + 1}"] for k in range(len(f))] == list(f["FILTER"]), "FILTk")
    check([np.float32(g.meta[f"LEFF{k + 1}"]) for k in range(len(f))] == list(f["LAMBDA_EFF"]), "LEFFk")
    check(g.meta["GRIDSHA"] == fits.getheader(made["single"])["GRIDSHA"], "provenance in GALAXIES")
    for h in HDUS:
        Table.read(made["merged"], hdu=h)
    # INPUTS: each shard merged, its name as given, its shard and its SHA-256 (sha256sum's).
    import hashlib
    inputs = Table.read(made["merged"], hdu="INPUTS")
    shards = [made[f"shard{k}"] for k in range(1, SHARDS + 1)]
    check(list(inputs["FILE"]) == shards and list(inputs["SHARDK"]) == [1, 2, 3], f"INPUTS {inputs}")
    check(list(inputs["SHA256"]) == [hashlib.sha256(open(f, "rb").read()).hexdigest() for f in shards], "SHA256")
    check(list(inputs["DATE"]) == [fits.getheader(f)["DATE"] for f in shards], "INPUTS DATE")
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
    check("DISTANCE(Float)/Mpc" in r.stdout and "LOGMASS_OLD_M2(Float)/log(solMass)" in r.stdout, "stilts units")
    for hdu, unit in (("GALAXIES", "| log(solMass) "), ("SPECTRA", "| erg/(s.cm2.Angstrom) ")):
        r = run(["stilts", "tpipe", f"in={made['merged']}#{hdu}", "cmd=meta"])
        check(r.stdout.count(unit) == (6 if hdu == "GALAXIES" else 3), f"stilts cmd=meta {hdu}: {r.stdout}")
    # GALAXIES selected and written alone still names the filter of each element.
    work = os.path.dirname(made["merged"])
    good = os.path.join(work, "good.fits")
    r = run(["stilts", "tpipe", f"in={made['merged']}#GALAXIES", 'cmd=select "(STATUS & 3) == 1"', f"out={good}"])
    meta = run(["stilts", "tpipe", f"in={good}", "cmd=meta"]).stdout
    names = [f"filter_{k}.dat" for k in range(1, 6)]
    names[1] = "filter_2_with_a_longer_name.dat"
    check(r.returncode == 0 and all(f"FILT{k + 1}: {n}\n" in meta for k, n in enumerate(names)), f"stilts select: {meta}")
    r = run(["bash", "-c", guide_block("tcat.sh")], cwd=work)
    check(r.returncode == 0, f"the guide's stilts tcat: {r.stderr}")
    tcat = os.path.join(work, "survey-tcat.fits")
    try:
        from astropy.table import Table
    except ImportError:
        return
    same_columns(Table.read(made["merged"], hdu="GALAXIES"), Table.read(tcat), "the guide's stilts tcat")


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


def printed_equal(value, text):
    """`value` (float32) shown as `text` (e15.5, -999.0: missing) shows."""
    import math

    printed = float(text)
    if printed == -999.0:
        return math.isnan(value)
    exponent = math.floor(math.log10(abs(printed))) + 1 if printed != 0 else 0
    return abs(value - printed) <= 0.5e-5 * 10.0 ** exponent * (1 + 1e-6)


def check_run(work):
    need("fitsverify")
    try:
        import numpy as np
        from astropy.table import Table
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    four = [("gal01", "45.0"), ("gal02", "120.0"), ("gal03", "0.0"), ("gal04", "180.0")]
    plain, cat = example(work, "plain", four), example(work, "cat", four)
    a = run([VELTRANE, "--ecsv", "grid.in"], cwd=plain)
    b = run([VELTRANE, "--ecsv", "--catalog-spectra", "--catalog", "ex.fits", "grid.in"], cwd=cat)
    check(a.returncode == b.returncode == 0 and a.stdout == b.stdout and a.stderr == b.stderr, f"console: {b}")
    for f in sorted(os.listdir(os.path.join(plain, "galaxies"))):
        same = open(os.path.join(plain, "galaxies", f), "rb").read() == open(os.path.join(cat, "galaxies", f), "rb").read()
        check(same, f"{f} differs with the catalogue")
    verified(os.path.join(cat, "ex.fits"))
    g = Table.read(os.path.join(cat, "ex.fits"), hdu="GALAXIES")
    check(list(g["NAME"]) == [n for n, _ in four] and list(g["STATUS"]) == [1, 1, 17, 1], f"rows {g['NAME', 'STATUS']}")
    for i, (name, _) in enumerate(four):
        ecsv = Table.read(os.path.join(cat, "galaxies", name + ".mag.ecsv"), format="ascii.ecsv")
        for slot in ("OBS", "TOT", "YOUNG", "OLD"):
            for system in SYSTEMS:
                want = np.ma.filled(np.ma.asarray(ecsv[f"m_{slot.lower()}_{system.lower()}"], dtype=np.float32), np.nan)
                have = np.asarray(g[f"MAG_{slot}_{system}"][i], dtype=np.float32)
                check(want.tobytes() == have.tobytes(), f"{name} MAG_{slot}_{system}: {have} / {want}")
        for row in open(os.path.join(cat, "galaxies", name + ".MAG.out")):
            for k, column in enumerate(MASSES):
                text = row[204 + 15 * k:219 + 15 * k]
                if g["STATUS"][i] & 16:  # no distance: the table's value lacks 4 pi d^2
                    value = np.ma.filled(np.ma.asarray(g[column], dtype=np.float32), np.nan)[i]
                    check(np.isnan(value) and float(text) != -999.0, f"{name} {column}: {value}")
                else:
                    check(printed_equal(float(g[column][i]), text), f"{name} {column}: {g[column][i]} / {text}")
    # Damaged galaxies: a result cut short, one missing, a name too long for its files.
    bad = example(work, "bad", [("gal01", "45.0"), ("gal02_cut", "1.0"), ("nothere", "2.0"), ("x" * 590, "3.0"),
                                ("gal04", "-1.0")], printfil=0)
    text = open(os.path.join(bad, "galaxies", "gal02_cut")).read()
    open(os.path.join(bad, "galaxies", "gal02_cut"), "w").write(text[: len(text) // 2])
    r = run([VELTRANE, "--catalog", "bad.fits", "grid.in"], cwd=bad)
    check(r.returncode == 0, f"damaged run: {r}")
    verified(os.path.join(bad, "bad.fits"))
    g = Table.read(os.path.join(bad, "bad.fits"), hdu="GALAXIES")
    check(list(g["STATUS"]) == [1, 35, 35, 8, 17], f"damaged run: STATUS {list(g['STATUS'])}")
    logs = sorted(f for f in os.listdir(os.path.join(bad, "galaxies")) if "." in f)
    check(logs == ["gal02_cut.LOG", "nothere.LOG"], f"PrintFil 0 with a catalogue wrote {logs}")
    # Three shards and their merge, against one process.
    nine = [(f"gal0{1 + k % 4}_{k}", str(10.0 + k)) for k in range(9)]
    sh = example(work, "shards", nine, printfil=0)
    run([VELTRANE, "-j", "2", "--catalog", "single.fits", "grid.in"], cwd=sh, check=True)
    for k in (1, 2, 3):
        r = run([VELTRANE, "--shard", f"{k}/3", "--catalog", f"s{k}.fits", "grid.in"], cwd=sh)
        check(r.returncode == 0, f"shard {k}: {r}")
    r = run([MERGE, "merged.fits", "s1.fits", "s2.fits", "s3.fits"], cwd=sh)
    check(r.returncode == 0, f"merge: {r}")
    for f in ("single.fits", "s1.fits", "s2.fits", "s3.fits", "merged.fits"):
        verified(os.path.join(sh, f))
    check(galaxies_bytes(os.path.join(sh, "merged.fits")) == galaxies_bytes(os.path.join(sh, "single.fits")),
          "merged shards differ from the single process")


def interrupted(d, args, after):
    """veltrane reading its grid from standard input, given `after` galaxies and ended by
    SIGTERM while it waits for the next one, once they are committed (their console lines
    are flushed at each commit; the signal waits for a commit under way)."""
    lines = open(os.path.join(d, "grid.in")).read().split("\n")
    p = subprocess.Popen([VELTRANE] + args, cwd=d, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    p.stdin.write("\n".join(lines[:9] + lines[9:9 + after]) + "\n")
    p.stdin.flush()
    seen = 0
    while seen < after:
        line = p.stdout.readline()
        if not line:
            break
        seen += "arq_synt" in line
    p.send_signal(signal.SIGTERM)
    # Standard input stays open until the process has ended: closed first, the grid's end
    # could stop the run (status 1) before the signal's exit.
    p.stdout.read()
    p.stderr.read()
    p.wait()
    p.stdin.close()
    return p.returncode, "\n".join(lines) + "\n"


def check_restart(work):
    need("fitsverify")
    try:
        from astropy.table import Table
    except ImportError as err:
        print(f"skipped: {err}")
        sys.exit(77)
    six = [(f"gal0{1 + k % 4}_{k}", str(5.0 * k)) for k in range(6)]
    for printfil in (0, 2):
        d = example(work, f"term{printfil}", six, printfil)
        status, grid = interrupted(d, ["--catalog-spectra", "--catalog", "c.fits"], 2)
        check(status == 143 and verified(os.path.join(d, "c.fits")), f"SIGTERM: status {status}")
        check(len(Table.read(os.path.join(d, "c.fits"), hdu="GALAXIES")) == 2, "SIGTERM: not the two galaxies")
        r = run([VELTRANE, "--skip-existing", "--catalog-spectra", "--catalog", "c.fits"], cwd=d, input=grid)
        check(r.returncode == 0 and "4 galaxies processed, 0 failed, 2 skipped" in r.stderr, f"restart: {r}")
        run([VELTRANE, "--catalog-spectra", "--catalog", "whole.fits"], cwd=d, input=grid, check=True)
        for hdu in ("GALAXIES", "SPECTRA"):
            same = Table.read(os.path.join(d, "c.fits"), hdu=hdu).as_array().tobytes() == \
                Table.read(os.path.join(d, "whole.fits"), hdu=hdu).as_array().tobytes()
            check(same, f"PrintFil {printfil}: {hdu} after the restart differs from an uninterrupted run")
    # A run that stops at galaxy 3 (a directory where its table goes), then restarted.
    d = example(work, "stop", six, 1)
    run([VELTRANE, "--catalog", "whole.fits", "grid.in"], cwd=d, check=True)
    for f in os.listdir(os.path.join(d, "galaxies")):
        if f.endswith(".MAG.out"):
            os.remove(os.path.join(d, "galaxies", f))
    os.mkdir(os.path.join(d, "galaxies", "gal03_2.MAG.out"))
    r = run([VELTRANE, "--catalog", "c.fits", "grid.in"], cwd=d)
    g = Table.read(os.path.join(d, "c.fits"), hdu="GALAXIES")
    check(r.returncode == 1 and list(g["STATUS"]) == [17, 1, 64], f"stopped run: {r.returncode} {list(g['STATUS'])}")
    os.rmdir(os.path.join(d, "galaxies", "gal03_2.MAG.out"))
    r = run([VELTRANE, "--skip-existing", "--catalog", "c.fits", "grid.in"], cwd=d)
    check("4 galaxies processed, 0 failed, 2 skipped" in r.stderr, f"restart after a stop: {r.stderr}")
    check(r.returncode == 0 and galaxies_bytes(os.path.join(d, "c.fits")) == galaxies_bytes(os.path.join(d, "whole.fits")),
          f"restart after a stop: {r}")
    # Refused before any galaxy, the catalogue untouched: another run's, a damaged one.
    kept = open(os.path.join(d, "c.fits"), "rb").read()
    # A grid file whose age cut was edited holds another age cut (before another grid file).
    grid = open(os.path.join(d, "grid.in")).read().split("\n")
    open(os.path.join(d, "cut2.in"), "w").write("\n".join(grid[:4] + ["2.0"] + grid[5:]))
    for args, grid_file, why in ((["--shard", "1/2"], "grid.in", "another shard"),
                                 (["--catalog-spectra"], "grid.in", "no spectra"), (["-j", "2"], "grid.in", None),
                                 ([], "cut2.in", "another age cut (1.0 Gyr; this run 2.0 Gyr)")):
        r = run([VELTRANE, "--skip-existing"] + args + ["--catalog", "c.fits", grid_file], cwd=d)
        if why is None:
            check(r.returncode == 0 and "0 galaxies processed, 0 failed, 6 skipped" in r.stderr, f"same run: {r}")
            kept = open(os.path.join(d, "c.fits"), "rb").read()  # written anew (its DATE)
            continue
        check(r.returncode == 1 and "arq_synt" not in r.stdout and f"c.fits cannot be continued (it holds {why})" in r.stderr,
              f"{args}: {r}")
        check(open(os.path.join(d, "c.fits"), "rb").read() == kept, f"{args}: the catalogue was changed")
    open(os.path.join(d, "cut.fits"), "wb").write(kept[: len(kept) // 2])
    r = run([VELTRANE, "--skip-existing", "--catalog", "cut.fits", "grid.in"], cwd=d)
    check(r.returncode == 1 and "cut.fits cannot be continued" in r.stderr and
          os.path.getsize(os.path.join(d, "cut.fits")) == len(kept) // 2, f"damaged: {r}")
    # A file-size limit (in 1 KB blocks): "Cannot write", status 1, nothing left.
    d = example(work, "limit", six, 0)
    r = run(["bash", "-c", f'ulimit -f 40; exec "{VELTRANE}" --catalog-spectra --catalog big.fits grid.in'], cwd=d)
    check(r.returncode == 1 and r.stdout.endswith("    ... ERROR -> Cannot write big.fits\n"), f"limit: {r}")
    check([f for f in left_in(d) if f.endswith(".fits") or f.startswith(".")] == [], f"limit left {left_in(d)}")


def main():
    with tempfile.TemporaryDirectory(prefix="veltrane-fits-") as work:
        if CHECK == "robustness":
            check_robustness(work)
        elif CHECK in ("run", "restart"):
            {"run": check_run, "restart": check_restart}[CHECK](work)
        else:
            made = catalogues(work)
            {"fitsverify": check_fitsverify, "astropy": check_astropy, "fitsio": check_fitsio,
             "stilts": check_stilts}[CHECK](made)
    return report()


if __name__ == "__main__":
    sys.exit(main())
