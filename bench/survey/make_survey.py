#!/usr/bin/env python3
"""Writes a survey-like Veltrane workload into DIR (synthetic; not committed).

    python3 bench/survey/make_survey.py DIR [--models 200] [--printfil 2] [--seed 7]

The shape of a real survey run: 200 galaxies, each with a KW synthesis result over a base
of 150 SSPs (25 ages x 6 metallicities) of 6,900 points, an observed spectrum of 5,401
points (3400-8800 A), 30 filters from the far ultraviolet to the K band, standard spectra
of about 5,000 points, and the grid file DIR/grid.in (run it from DIR). The data come from
the toy models of tools/make_example.py; a fixed seed makes the workload reproducible.
DIR/survey.ok is written last, so a complete workload can be recognised and reused.
"""

import argparse
import importlib.util
import math
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def load_example_module():
    spec = importlib.util.spec_from_file_location(
        "make_example", os.path.join(ROOT, "tools", "make_example.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


ex = load_example_module()
ex.GENERATOR = "bench/survey/make_survey.py"
ex.DATASET = "the Veltrane survey benchmark"

AGES = [round(10.0 ** (6.0 + k * (math.log10(1.3e10) - 6.0) / 24.0), -3) for k in range(25)]
METS = [0.0001, 0.0004, 0.004, 0.008, 0.02, 0.05]
LAWS = ["CAL", "CCM", "CCJ", "GD1", "GD2", "GD3"]
FIT = {"base_file": "Base.survey.150", "l_ini": 3500.0, "l_fin": 8600.0, "l_norm": 4020.0}


def survey_base_grid():
    # 6,900 points: 5 A in the ultraviolet, 1 A in the optical, 32 A in the near infrared.
    grid = ex.stepped_grid([(1000, 3000, 5), (3000, 9000, 1), (9000, 25000, 32)])
    assert len(grid) == 6900
    return grid


def survey_standard_grid():
    return ex.stepped_grid([(1000, 3000, 8), (3000, 10000, 2), (10000, 30001, 16)])


def survey_filters():
    f = [("GALEX_FUV.dat", (1340.0, 40.0, 1800.0, 40.0, 5)),
         ("GALEX_NUV.dat", (1750.0, 50.0, 2750.0, 60.0, 10))]
    f += ex.EXAMPLE_FILTERS
    f += [("2MASS_J.dat", (11000.0, 150.0, 13500.0, 150.0, 20)),
          ("2MASS_H.dat", (15000.0, 150.0, 17800.0, 200.0, 25)),
          ("2MASS_Ks.dat", (20000.0, 150.0, 23000.0, 200.0, 25)),
          ("Stromgr_u.dat", (3350.0, 30.0, 3650.0, 30.0, 5)),
          ("Stromgr_v.dat", (4020.0, 25.0, 4200.0, 25.0, 5)),
          ("Stromgr_b.dat", (4580.0, 25.0, 4760.0, 25.0, 5)),
          ("Stromgr_y.dat", (5360.0, 25.0, 5580.0, 25.0, 5))]
    for centre in range(4000, 8001, 400):
        f.append(("MB%04d.dat" % centre, (centre - 150.0, 20.0, centre + 150.0, 20.0, 5)))
    assert len(f) == 30
    return f


def random_galaxy(k, rng, n_base):
    """A plausible fit: 6 to 15 SSPs with light, a law, A_V, distance and flux scale."""
    n_comp = 6 + int(rng.uniform() * 10)
    chosen = []
    while len(chosen) < n_comp:
        j = int(rng.uniform() * n_base)
        if j not in chosen:
            chosen.append(j)
    weights = [rng.uniform() ** 2 + 0.02 for _ in chosen]
    total = sum(weights)
    light = {j: round(100.0 * w / total, 4) for j, w in zip(chosen, weights)}
    light = dict(sorted(light.items()))
    law = LAWS[int(rng.uniform() * len(LAWS))]
    a_v = round(1.2 * rng.uniform(), 4)
    distance = round(10.0 ** (math.log10(20.0) + rng.uniform() * math.log10(20.0)), 2)
    flx_norm = round(10.0 ** (1.3 + 2.0 * rng.uniform()), 4)
    gap = None
    if k % 10 == 3:  # one galaxy in ten has a run of dead pixels
        start = 4500.0 + round(3000.0 * rng.uniform())
        gap = (start, start + 20.0 + round(40.0 * rng.uniform()))
    sn = 15.0 + 45.0 * rng.uniform()
    return ex.Galaxy("sv%04d" % (k + 1), distance, law, a_v, flx_norm, light,
                     seed=1000 + k, gap=gap, sn=round(sn, 3))


def make_survey(out_dir, n_models, print_fil, seed, log):
    t0 = time.time()
    base_grid = survey_base_grid()
    ssps = ex.make_base(base_grid, AGES, METS, FIT["l_norm"])
    for s in ssps:  # ages too close for the example's Myr tags: name by position
        s.code = "a%02d_%s" % (AGES.index(s.age), ex.met_tag(s.met))
        s.filename = "ssp_%s.dat" % s.code
    base_dir = os.path.join(out_dir, "base")
    for s in ssps:
        ex.write_ssp_file(os.path.join(base_dir, s.filename), s, base_grid)
    ex.write_base_file(os.path.join(base_dir, FIT["base_file"]), ssps)
    log("base: %d SSPs x %d points (%.1f s)" % (len(ssps), len(base_grid), time.time() - t0))

    obs_grid = [3400.0 + k for k in range(5401)]
    norm_ssps = ex.normalised_ssps_on(obs_grid, base_grid, ssps, FIT["l_norm"])
    rng = ex.Rng(seed)
    galaxies = [random_galaxy(k, rng, len(ssps)) for k in range(n_models)]
    for i, gal in enumerate(galaxies):
        ex.write_result_file(os.path.join(out_dir, "galaxies", gal.name), gal, ssps,
                             norm_ssps, obs_grid, FIT)
        if (i + 1) % 50 == 0:
            log("galaxies: %d of %d (%.1f s)" % (i + 1, n_models, time.time() - t0))

    fil_dir = os.path.join(out_dir, "filters")
    std_grid = survey_standard_grid()
    ex.write_standards(fil_dir, std_grid)
    ex.write_filter_set(fil_dir, survey_filters())
    log("filters: 30, standard spectra of %d points" % len(std_grid))

    ex.write_grid_file(
        os.path.join(out_dir, "grid.in"), [(g.name, g.distance) for g in galaxies],
        "galaxies/", "base/", "filters/", "1.0", "1.0E-17", 0, print_fil, 0,
        notes=["", "# Synthetic survey workload, generated by bench/survey/make_survey.py."])
    with open(os.path.join(out_dir, "survey.ok"), "w", encoding="utf-8") as f:
        f.write("models %d printfil %d seed %d\n" % (n_models, print_fil, seed))
    log("done in %.1f s: %s" % (time.time() - t0, out_dir))


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("dir", help="directory to write the workload into")
    ap.add_argument("--models", type=int, default=200)
    ap.add_argument("--printfil", type=int, default=2, help="PrintFil of the grid file")
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args(argv[1:])
    os.makedirs(args.dir, exist_ok=True)
    ok = os.path.join(args.dir, "survey.ok")
    if os.path.exists(ok):
        os.remove(ok)
    make_survey(args.dir, args.models, args.printfil, args.seed,
                lambda msg: print("make_survey: " + msg, flush=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
