#!/usr/bin/env python3
"""Writes the largest inputs Veltrane's tables admit into DIR (synthetic; not committed).

    python3 bench/limits/make_limits.py DIR

A base of 300 SSPs of 10,000 points each (1000-10999 A), 300 filters of 10,000 samples each
spread over the base, standard spectra of 10,000 samples, and two galaxies whose observed
spectra of 10,000 points lie beyond the base, so that the cleaned spectrum extended by the
whole base holds 19,980 points. DIR/grid.in runs them (from DIR); run_limits.sh times it.
"""

import math
import os
import sys

NSSP, NPT, NFIL = 300, 10000, 300


def planck(lam, temp):
    x = 1.4387769e8 / (lam * temp)
    return (5500.0 / lam) ** 5 * math.expm1(1.4387769e8 / (5500.0 * temp)) / math.expm1(min(x, 700.0))


def write(path, lines):
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main(out):
    os.makedirs(os.path.join(out, "base"), exist_ok=True)
    os.makedirs(os.path.join(out, "filters"), exist_ok=True)
    grid = [1000.0 + i for i in range(NPT)]
    recs = []
    for k in range(NSSP):
        temp = 3000.0 + 100.0 * k
        name = "ssp%03d.dat" % k
        write(os.path.join(out, "base", name), ["# synthetic SSP"] +
              ["%.1f %.6e" % (l, planck(l, temp)) for l in grid])
        recs.append("%s %.4e 0.02 c%03d 0.5 0.0 0.0" % (name, 1.0e6 * 1.03 ** k, k))
    write(os.path.join(out, "base", "Base.limits"), [str(NSSP)] + recs)
    star = [1000.0 + 1.2 * i for i in range(NPT)]
    for name, temp, scale in [("VegaLR.dat", 9600.0, 3.6e-9), ("Sun_LR.dat", 5800.0, 1.9e2),
                              ("BD+17d4708.dat", 6500.0, 6e-13)]:
        write(os.path.join(out, "filters", name), ["star %d" % NPT] +
              ["%.2f %.6e" % (l, scale * planck(l, temp)) for l in star])
    names = []
    for i in range(NFIL):
        lo = 1100.0 + 30.0 * i
        width = 1500.0
        name = "F%03d.dat" % i
        names.append(name)
        write(os.path.join(out, "filters", name), ["# header"] * 15 +
              ["%.4f %.5f" % (lo + width * j / (NPT - 1), math.sin(math.pi * j / (NPT - 1)) ** 2)
               for j in range(NPT)])
    write(os.path.join(out, "filters", "ListFilters.txt"), [str(NFIL)] + names)
    for g in (1, 2):
        rec = ["# skipped"] * 63
        rec[5], rec[6], rec[9], rec[13] = "spec", "Base.limits", str(NSSP), "CCM"
        rec[14], rec[17], rec[18], rec[22], rec[25] = "0.0", "1500.0", "10500.0", "4020.0", "1.0"
        for r in (10, 11, 38, 39, 41, 42, 43):
            rec[r] = "1"
        for r in (12, 19, 23, 24, 28, 29, 30, 31, 32, 33, 34, 49, 50, 52, 53, 57, 58, 60):
            rec[r] = "1.0"
        rec[40], rec[44], rec[45] = "1 text", "1 2 3", "1.0 2.0 3.0 4.0"
        rec[54], rec[55], rec[59] = "1.0e9", "1.0e9", "0.2"
        rows = ["r %.4f 1.0 1.0 %.4e 0.02 0 0 0 ssp%03d.dat 0" % (100.0 / NSSP, 1.0e6 * 1.03 ** k, k)
                for k in range(NSSP)]
        obs = ["%.1f %.6f 0.0 1.0" % (11000.0 + i, 1.0 + 0.1 * g) for i in range(NPT)]
        write(os.path.join(out, "gal%02d" % g), rec + rows + ["# skipped"] * (2 * NSSP + 17) + [str(NPT)] + obs)
    write(os.path.join(out, "grid.in"), ["2", "./", "base/", "filters/", "1.0", "1.0E-17", "0", "2", "0",
                                         "gal01 10.0", "gal02 20.0"])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
