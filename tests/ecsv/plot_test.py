#!/usr/bin/python3
"""tools/veltrane-plot on the example: figures written, wrong use refused cleanly.

Usage: plot_test.py VELTRANE_BINARY SOURCE_DIR    (exit 77, a skip, without astropy/matplotlib)

Runs `veltrane --ecsv` on a scratch copy of examples/ (plus one galaxy with only its
magnitude table, and one normalised outside its base, which fails), then veltrane-plot in
the ways of CASES: each must end with its status, say what its message holds on standard
error (nothing at all for a figure written cleanly), and leave a non-empty figure of its
kind, or no file at all when it refuses.
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


def veltrane(binary, work, *args):
    run = subprocess.run([binary, "--ecsv", "--quiet", *args], cwd=work, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"veltrane {' '.join(args)}: status {run.returncode}\n{run.stdout}{run.stderr}")


def main(binary, source):
    binary, source = os.path.abspath(binary), os.path.abspath(source)
    plot, failures = os.path.join(source, "tools", "veltrane-plot"), 0
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
        for args, status, message, magic in CASES:
            run = subprocess.run([plot, *args], cwd=work, capture_output=True, text=True)
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
    print(f"plot_test: {len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
