#!/usr/bin/python3
"""How far apart a spectrum's samples may be before its magnitudes stop being measurements:
the measurement behind the SamplingWarning's limit (veltrane._checks.COARSE_SPACING).

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_sampling.py [WORK]

Smooth spectra (blackbodies of 3,000-30,000 K, power laws F_λ ∝ λ^α with α from -3 to 2) on
even grids of 1-400 Å, each at six offsets, through the survey workload's 30 filters
(bench/survey/make_survey.py, with the example's standard spectra; written into WORK, by
default a temporary directory) and the example's 10. Each magnitude (system "nocalib") is
compared with −2.5 log10 of a float64 trapezoid of F·T on the filter's own samples. Printed:
the largest difference per grid spacing, then per spacing relative to the filter's
equivalent width ∫T dλ / max T, and per number of samples inside the filter.
"""

import importlib.util
import os
import shutil
import sys
import tempfile
import warnings

import numpy as np

import veltrane

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SPACINGS = [1, 5, 10, 20, 50, 75, 100, 125, 150, 175, 200, 250, 300, 400]


def survey_filters(work):
    spec = importlib.util.spec_from_file_location("make_survey", os.path.join(ROOT, "bench", "survey", "make_survey.py"))
    survey = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(survey)
    survey.ex.write_filter_set(work, survey.survey_filters())
    for name in ("VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"):
        shutil.copy(os.path.join(ROOT, "examples", "filters", name), work)
    return veltrane.FilterSet(work)


def shapes():
    def blackbody(t):
        return lambda w: 1e-25 / (w * 1e-8) ** 5 / np.expm1(1.4388 / (w * 1e-8 * t))

    def power(a):
        return lambda w: (w / 5000.0) ** a * 1e-15

    return [blackbody(t) for t in (3000, 3500, 5000, 10000, 30000)] + [power(a) for a in (-3, -1, 0, 2)]


def differences(fs, rng):
    """Rows (spacing Å, spacing / equivalent width, samples inside, |Δm|)."""
    rows = []
    for i in range(len(fs)):
        lam, t = (a.astype(np.float64) for a in fs.curve(i))
        width = np.trapz(t, lam) / t.max()
        truth = [-2.5 * np.log10(np.trapz(f(lam) * t, lam)) for f in shapes()]
        for d in SPACINGS:
            for _ in range(6):
                w = np.arange(900.0 + rng.uniform(0.0, d), 26000.0, d)
                m = fs.magnitudes(w, np.stack([f(w) for f in shapes()]), system="nocalib")[:, i]
                inside = np.count_nonzero((w >= lam[0]) & (w <= lam[-1]))
                rows += [(d, d / width, inside, abs(float(a) - b)) for a, b in zip(m, truth)]
    return np.array(rows)


def table(rows, column, edges, label):
    print(label)
    for lo, hi in zip(edges[:-1], edges[1:]):
        sel = (rows[:, column] > lo) & (rows[:, column] <= hi)
        if sel.any():
            print(f"  {lo:>7g} - {hi:<7g} max |Δm| {np.nanmax(rows[sel, 3]):8.4f} mag   ({sel.sum()} magnitudes)")


def main():
    warnings.simplefilter("ignore")  # the coarse grids warn, which is the point
    work = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="veltrane-sampling-")
    os.makedirs(work, exist_ok=True)
    rng = np.random.default_rng(1)
    rows = np.concatenate([differences(survey_filters(work), rng),
                           differences(veltrane.FilterSet(os.path.join(ROOT, "examples", "filters")), rng)])
    table(rows, 0, [0] + SPACINGS, "grid spacing (Å)")
    table(rows, 1, [0, 0.05, 0.1, 0.125, 0.15, 0.175, 0.2, 0.25, 0.3, 0.5, 1, 1e9],
          "spacing / equivalent width (the SamplingWarning beyond 0.15)")
    table(rows, 2, [-1, 1, 2, 4, 7, 11, 19, 49, 1e9], "samples inside the filter")


if __name__ == "__main__":
    main()
