#!/usr/bin/python3
"""Veltrane from Python, on the bundled example: a batch of spectra through the filter set, a
reddened spectrum, and one galaxy rebuilt and plotted.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/veltrane_example.py [-o gal01.png]

(or without PYTHONPATH once `cmake --install` has put the package where Debian's Python finds
it). Needs numpy and matplotlib.
"""

import argparse
import os

import numpy as np

import veltrane

EXAMPLES = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def blackbodies(wave, temperatures):
    """F_λ of blackbodies (arbitrary scale, erg s⁻¹ cm⁻² Å⁻¹) at `wave` (Å): one row each."""
    x = wave[None, :] * 1e-8  # cm
    t = np.asarray(temperatures, dtype=np.float64)[:, None]
    return 1e-25 / x**5 / np.expm1(1.4388 / (x * t))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--output", default="gal01.png", help="the figure (PNG)")
    args = ap.parse_args()

    # 1. A batch of spectra on one grid through the calibrated filter set.
    fs = veltrane.FilterSet(os.path.join(EXAMPLES, "filters"))
    wave = np.linspace(2000.0, 12000.0, 5000)
    temperatures = [4000, 5800, 10000, 20000]
    flux = blackbodies(wave, temperatures)            # (4, 5000)
    ab = fs.magnitudes(wave, flux, system="ab")       # (4 spectra, 10 filters)
    g, r = fs.index("SDSS_g.dat"), fs.index("SDSS_r.dat")
    for t, colour in zip(temperatures, ab[:, g] - ab[:, r]):
        print(f"blackbody {t:6d} K: g - r = {colour:+.3f} (AB)")

    # 2. The 5,800 K spectrum reddened by A_V = 1 with the CCM law, relative to 5500 Å.
    reddened = veltrane.redden(wave, flux[1], 1.0, law="CCM", lambda_norm=5500.0)
    delta = fs.magnitudes(wave, reddened, system="ab") - ab[1]
    print("A_V = 1 (CCM) adds " + ", ".join(f"{n[:-4]} {d:+.2f}" for n, d in zip(fs.names, delta)) + " mag")

    # 3. One galaxy of the example grid rebuilt as a run does, and plotted.
    grid = veltrane.read_grid(os.path.join(EXAMPLES, "grid.in"))
    gal = grid.rebuild("gal01")
    print(f"gal01: log M* = {gal.log_mass['total_m3']:.3f} (young {gal.log_mass['young_m3']:.3f}, "
          f"old {gal.log_mass['old_m3']:.3f}) M_sun")

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(8, 7))
    top.plot(gal.ext_wave, gal.ext_flux, color="0.5", lw=0.8, label="observed (cleaned, extended)")
    for name, spectrum, colour in (("total", gal.total, "k"), ("young", gal.young, "tab:blue"),
                                   ("old", gal.old, "tab:red")):
        top.plot(gal.wave, spectrum, color=colour, lw=1.0, label=f"{name} model")
    shown = (gal.wave > 2500) & (gal.wave < 11000)
    top.set(xlim=(2500, 11000), ylim=(0, 1.3 * gal.total[shown].max()), xlabel="wavelength (Å)", ylabel="F$_λ$ (erg s$^{-1}$ cm$^{-2}$ Å$^{-1}$)",
            title="gal01 rebuilt by veltrane")
    top.legend(fontsize=8)
    for k, (slot, marker) in enumerate(zip(veltrane.SLOTS, "osv^")):
        bottom.plot(gal.lambda_eff, gal.magnitudes[k, :, veltrane.SYSTEMS.index("ab")], marker, label=slot)
    bottom.invert_yaxis()
    bottom.set(xlabel="effective wavelength (Å)", ylabel="AB magnitude")
    bottom.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(args.output, dpi=100)
    print(f"figure: {args.output}")


if __name__ == "__main__":
    main()
