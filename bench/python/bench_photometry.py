#!/usr/bin/python3
"""Benchmark of the Python module's photometry (not a test): a batch of spectra through the
30 filters of the survey workload (bench/survey/make_survey.py), timed per (spectrum, filter)
against synphot and against a plain numpy trapezoid over the same arrays, and with 2 threads
against 1.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_photometry.py [--spectra 10000]
        [--points 5000] [--synphot 20] [--repeat 3]

Targets: at least 1,000x synphot's time per (spectrum, filter), not slower than numpy, and
two threads at least 1.7x one. Each time is the best of --repeat runs. synphot runs on the
first --synphot spectra only (it takes milliseconds per pair), in the convention matched to
Veltrane's (each curve as T/λ, zero outside its samples, binned on its own wavelengths).
"""

import argparse
import importlib.util
import os
import sys
import tempfile
import time
import warnings

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def survey_module():
    spec = importlib.util.spec_from_file_location("make_survey", os.path.join(ROOT, "bench", "survey", "make_survey.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


def write_filters(directory):
    """The survey workload's filter directory: 30 filters, standard spectra of ~5,000 points."""
    survey = survey_module()
    survey.ex.write_standards(directory, survey.survey_standard_grid())
    survey.ex.write_filter_set(directory, survey.survey_filters())


def spectra(n, points, seed=11):
    """n smooth positive spectra (float32, C order) on one grid from 1000 to 25000 Å."""
    rng = np.random.default_rng(seed)
    wave = np.linspace(1000.0, 25000.0, points).astype(np.float32)
    x = (wave / 10000.0).astype(np.float32)
    temp = rng.uniform(3000.0, 20000.0, size=(n, 1)).astype(np.float32)
    flux = np.empty((n, points), dtype=np.float32)
    for start in range(0, n, 1000):  # a blackbody shape with noise, block by block
        t = temp[start:start + 1000]
        b = x ** -5 / np.expm1(np.minimum(1.4388e4 / (x * t), 80.0))
        flux[start:start + 1000] = 1e-15 * b / b.max(axis=1, keepdims=True) * rng.uniform(0.9, 1.1, size=b.shape)
    return wave, flux


CPU = {}  # best CPU time (all threads) of each timed call, by its wall-clock time


def best(repeat, fn):
    times = []
    for _ in range(repeat):
        t0, c0 = time.perf_counter(), time.process_time()
        result = fn()
        times.append((time.perf_counter() - t0, time.process_time() - c0))
    wall, cpu = min(times)
    CPU[wall] = cpu
    return wall, result


def numpy_trapezoid(fs, wave, flux):
    """∫F T dλ for every spectrum and filter, the transmission interpolated on the grid."""
    out = np.empty((flux.shape[0], len(fs)), dtype=np.float32)
    for i in range(len(fs)):
        lam, t = fs.curve(i)
        t_on_grid = np.interp(wave, lam, t, left=0.0, right=0.0).astype(np.float32)
        out[:, i] = np.trapz(flux * t_on_grid, wave, axis=1)
    return out


def synphot_ab(fs, wave, flux):
    """synphot's AB magnitudes in the matched convention, and the seconds per (spectrum, filter)."""
    import astropy.units as u
    from synphot import Observation, SourceSpectrum, SpectralElement, units
    from synphot.models import Empirical1D

    warnings.filterwarnings("ignore")
    out = np.empty((flux.shape[0], len(fs)))
    t0 = time.perf_counter()
    for k in range(flux.shape[0]):
        sp = SourceSpectrum(Empirical1D, points=wave.astype(float) * u.AA,
                            lookup_table=flux[k].astype(float) * units.FLAM, keep_neg=True)
        for i in range(len(fs)):
            lam, t = (a.astype(float) for a in fs.curve(i))
            bp = SpectralElement(Empirical1D, points=lam * u.AA, lookup_table=t / lam, fill_value=0)
            out[k, i] = Observation(sp, bp, binset=lam * u.AA).effstim(u.ABmag).value
    return out, (time.perf_counter() - t0) / out.size


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--spectra", type=int, default=10000)
    ap.add_argument("--points", type=int, default=5000)
    ap.add_argument("--synphot", type=int, default=20, help="spectra measured with synphot")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args(argv[1:])

    import veltrane

    with tempfile.TemporaryDirectory() as tmp:
        write_filters(tmp)
        t_load, fs = best(args.repeat, lambda: veltrane.FilterSet(tmp))
    wave, flux = spectra(args.spectra, args.points)
    pairs = flux.shape[0] * len(fs)
    print(f"{flux.shape[0]} spectra of {flux.shape[1]} points (float32), {len(fs)} filters: {pairs} pairs")
    print(f"  filter set loaded and calibrated      {t_load * 1e3:10.1f} ms")

    t1, m1 = best(args.repeat, lambda: fs.magnitudes(wave, flux, threads=1))
    t2, m2 = best(args.repeat, lambda: fs.magnitudes(wave, flux, threads=2))
    assert np.array_equal(m1, m2, equal_nan=True), "2 threads differ from 1"
    tf, _ = best(args.repeat, lambda: fs.fluxes(wave, flux, threads=1))
    tn, fn = best(args.repeat, lambda: numpy_trapezoid(fs, wave, flux))
    flux_f = np.asfortranarray(flux[: min(2000, flux.shape[0])])
    t_fortran, _ = best(args.repeat, lambda: fs.magnitudes(wave, flux_f, threads=1))
    n_syn = min(args.synphot, flux.shape[0])
    ab_syn, t_syn = synphot_ab(fs, wave, flux[:n_syn])

    per = lambda t, n=pairs: t / n * 1e6  # noqa: E731  (µs per pair)
    print(f"  veltrane, 1 thread (magnitudes)       {per(t1):10.3f} µs per pair   ({t1:.2f} s)")
    print(f"  veltrane, 2 threads (magnitudes)      {per(t2):10.3f} µs per pair   ({t2:.2f} s)")
    print(f"  veltrane, 1 thread (fluxes only)      {per(tf):10.3f} µs per pair   ({tf:.2f} s)")
    print(f"  veltrane, 1 thread, Fortran order     {per(t_fortran, flux_f.shape[0] * len(fs)):10.3f} µs per pair")
    print(f"  numpy trapezoid (fluxes)              {per(tn):10.3f} µs per pair   ({tn:.2f} s)")
    print(f"  synphot (AB, matched convention)      {t_syn * 1e6:10.1f} µs per pair   ({n_syn} spectra)")
    print(f"  2 threads vs 1:        {t1 / t2:8.2f}x   (target >= 1.7x; CPU time {CPU[t2] / CPU[t1]:.2f}x one "
          f"thread's, load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores)")
    print(f"  vs numpy trapezoid:    {tn / tf:8.2f}x   (target >= 1x, fluxes against fluxes)")
    print(f"  vs synphot:            {t_syn / (t1 / pairs):8.0f}x   (target >= 1000x, 1 thread)")
    ab = m1[:n_syn, :, veltrane.SYSTEMS.index("ab")]
    print(f"  AB against synphot:    max |difference| {np.nanmax(np.abs(ab - ab_syn)):.2e} mag")
    fv = fs.fluxes(wave, flux)
    print(f"  fluxes against numpy:  max relative difference {np.nanmax(np.abs(fv - fn) / np.abs(fn)):.2e}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
