#!/usr/bin/python3
"""tools/veltrane-plot on the example: figures written, wrong use refused cleanly.

Usage: plot_test.py VELTRANE_BINARY SOURCE_DIR [MODULE_DIR]    (exit 77, a skip, without
astropy/matplotlib)

Runs `veltrane --ecsv` on a scratch copy of examples/ (plus one galaxy with only its
magnitude table, and one normalised outside its base, which fails), then veltrane-plot in
the ways of CASES: each must end with its status, say what its message holds on standard
error (nothing at all for a figure written cleanly), and leave a non-empty figure of its
kind, or no file at all when it refuses. With the Python module veltrane in MODULE_DIR, the
CATALOGUE_CASES too, on the catalogues of a PrintFil 0 run of the example's galaxies at
several distances (one without its synthesis result) and of a run that met no filter set.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import astropy  # noqa: F401
    import matplotlib  # noqa: F401
except ImportError as err:
    print(f"skipped: {err}")
    sys.exit(77)

PNG, PDF = b"\x89PNG\r\n\x1a\n", b"%PDF-"
GALAXIES = ["galaxies/gal01", "galaxies/gal02", "galaxies/gal03", "galaxies/gal04"]
# (arguments, exit status, text on standard error ("" for none), start of the figure or None)
CASES = [
    (["galaxies/gal01", "-o", "gal01.png"], 0, "", PNG),
    (["--system", "ab", "galaxies/gal02.mag.ecsv", "-o", "gal02.pdf"], 0, "", PDF),
    (["--survey", *GALAXIES, "-o", "survey.png"], 0, "", PNG),
    (["--survey", "--system", "nocalib", *GALAXIES, "-o", "survey.pdf"], 0, "", PDF),
    (["galaxies/broken", "-o", "broken.png"], 0, "", PNG),
    (["sed_only/gal03", "-o", "sed.png"], 0, "SED only", PNG),
    (["galaxies/nothing", "-o", "missing.png"], 2, "--ecsv", None),
    (["sed_only/gal04", "-o", "no_ecsv.png"], 2, "--ecsv", None),
    (["--survey", "galaxies/gal01", "galaxies/nothing", "-o", "survey_missing.png"], 2, "--ecsv", None),
    (["galaxies/gal01", "--system", "johnson", "-o", "system.png"], 2, "johnson", None),
    (["galaxies/gal01", "-o", "gal01.jpg"], 2, ".png", None),
    (["galaxies/gal01", "galaxies/gal02", "-o", "two.png"], 2, "--survey", None),
    (["galaxies/gal01", "-o", "no/such/dir/gal01.png"], 1, "cannot write", None),
]
CATALOGUE_CASES = [
    (["survey.fits", "-o", "catalogue.png"], 0, "", PNG),
    (["--system", "ab", "--component", "total", "--colour", "John_B.dat,John_V.dat", "survey.fits", "-o", "cat.pdf"],
     0, "", PDF),
    (["lost.fits", "-o", "lost.png"], 0, "", PNG),
    (["grid.fits", "-o", "grid.png"], 2, "grid.fits: not a FITS file", None),
    (["--colour", "John_V.dat", "survey.fits", "-o", "colour.png"], 2, "BLUE,RED (John_U.dat, John_B.dat", None),
    (["--colour", "John_B.dat,John_V.dat", "galaxies/gal01", "-o", "colour.png"], 2, "--colour is for a catalogue",
     None),
    (["survey.fits", "galaxies/gal01", "-o", "two.png"], 2, "drawn alone", None),
]
# A survey's grid: PrintFil 0 (the catalogue and the logs are all a run writes), the example's
# galaxies at several distances, one without a distance and one without a synthesis result.
SURVEY = "".join(f"{g:<13} {d:6.2f}\n" for d in (30, 60, 90) for g in ("gal01", "gal02", "gal04")) + \
    "gal03           0.00\ngal03          75.00\ngal99          50.00\n"


def veltrane(binary, work, *args):
    run = subprocess.run([binary, "--ecsv", "--quiet", *args], cwd=work, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"veltrane {' '.join(args)}: status {run.returncode}\n{run.stdout}{run.stderr}")


def check(plot, work, cases, env):
    """Runs the cases in `work`; returns how many failed."""
    failures = 0
    for args, status, message, magic in cases:
        run = subprocess.run([plot, *args], cwd=work, capture_output=True, text=True, env=env)
        output = os.path.join(work, args[args.index("-o") + 1])
        written = open(output, "rb").read() if os.path.exists(output) else None
        problems = []
        if run.returncode != status:
            problems.append(f"status {run.returncode}, not {status}")
        if not (message in run.stderr if message else not run.stderr):
            problems.append(f"standard error does not say {message!r}" if message else "standard error not empty")
        if "Traceback" in run.stderr:
            problems.append("a traceback")
        if magic is None and written is not None:
            problems.append("a file written")
        if magic is not None and not (written and written.startswith(magic) and len(written) > 1000):
            problems.append("no figure of its kind")
        if problems:
            failures += 1
            print(f"FAIL: veltrane-plot {' '.join(args)}: {'; '.join(problems)}\n{run.stderr}")
    return failures


def catalogues(binary, work, module):
    """(cases, environment) of the catalogue cases, with the catalogues they draw; none without
    the module."""
    env = dict(os.environ, PYTHONPATH=os.path.abspath(module))
    if subprocess.run([sys.executable, "-c", "import veltrane"], env=env, capture_output=True).returncode != 0:
        print(f"plot_test: no Python module veltrane in {module}: the catalogue cases are left out")
        return []
    grid = open(os.path.join(work, "grid.in")).read().split("\n")
    grid[0], grid[7] = f"{12:15d}    N_models", f"{0:15d}    PrintFil"
    open(os.path.join(work, "survey.in"), "w").write("\n".join(grid[:9]) + "\n" + SURVEY)
    veltrane(binary, work, "--catalog", "survey.fits", "survey.in")
    veltrane(binary, work, "--catalog", "lost.fits", "gal99", "50", "galaxies/", "base/", "filters/", "1.0",
             "1.0E-17", "0", "0", "0")
    shutil.copy(os.path.join(work, "grid.in"), os.path.join(work, "grid.fits"))
    groups = [(CATALOGUE_CASES, env)]
    plain = dict(os.environ, PYTHONPATH="")
    if subprocess.run([sys.executable, "-c", "import veltrane"], env=plain, capture_output=True).returncode != 0:
        groups.append(([(["survey.fits", "-o", "nomodule.png"], 1, "module veltrane", None)], plain))  # not installed
    return groups


def main(binary, source, module):
    binary, source = os.path.abspath(binary), os.path.abspath(source)
    plot = os.path.join(source, "tools", "veltrane-plot")
    with tempfile.TemporaryDirectory(prefix="veltrane-plot-") as scratch:
        work = os.path.join(scratch, "examples")
        shutil.copytree(os.path.join(source, "examples"), work)
        fit = open(os.path.join(work, "galaxies", "gal04")).read()
        open(os.path.join(work, "galaxies", "broken"), "w").write(re.sub(r"^\S+(\s+\[l_norm )", r"40200.0\1", fit,
                                                                         flags=re.M))
        veltrane(binary, work, "grid.in")
        veltrane(binary, work, "broken", "60", "galaxies/", "base/", "filters/", "1.0", "1.0E-17", "0", "2", "0")
        os.mkdir(os.path.join(work, "sed_only"))  # gal03: PrintFil 1, no spectrum table; gal04: no --ecsv
        veltrane(binary, work, "--output-dir", "sed_only", "gal03", "0", "galaxies/", "base/", "filters/", "1.0",
                 "1.0E-17", "0", "1", "0")
        shutil.copy(os.path.join(work, "galaxies", "gal04.MAG.out"), os.path.join(work, "sed_only"))
        groups = [(CASES, None)] + (catalogues(binary, work, module) if module else [])
        failures = sum(check(plot, work, cases, env) for cases, env in groups)
    total = sum(len(cases) for cases, _ in groups)
    print(f"plot_test: {total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else None))
