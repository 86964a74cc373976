#!/usr/bin/env python3
"""Writes the bundled Veltrane example under examples/ (synthetic data, not observations).

    python3 tools/make_example.py            # from the repository root

What it makes, all from analytic toy models with a fixed-seed noise generator, so that
running it again rewrites examples/ byte for byte:

  examples/grid.in                the nine run parameters and four model records
  examples/galaxies/galNN         KW-style synthesis results, read by position
  examples/base/                  a base file of 15 SSPs (5 ages x 3 metallicities) and one
                                  spectrum file per SSP, in Lsun/A per solar mass
  examples/filters/               Vega, Sun and BD+17d4708 spectra, ListFilters.txt and ten
                                  Johnson/Cousins- and SDSS-like filter curves

The SSP spectra are sums of blackbodies whose temperature mix depends on age and
metallicity, with a 4000 A break, a Balmer jump and a few absorption lines. Each galaxy's
observed spectrum is the same mixture of these SSPs that its population table lists,
reddened with its own extinction law, plus a little noise; the masses in its result file
follow from the light fractions and the SSPs' light-to-mass ratios at 4020 A, so the
stellar masses that Veltrane derives are consistent with the spectra.

Standard library only. The functions are reused by bench/survey/make_survey.py.
"""

import bisect
import math
import os
import sys

HC_OVER_K = 1.4387769e8  # h c / k in A K
GENERATOR = "tools/make_example.py"
DATASET = "the Veltrane example"

# ----------------------------------------------------------------------------------------
# Deterministic noise


class Rng:
    """xorshift64* with Box-Muller normals: the same numbers on every Python version."""

    def __init__(self, seed):
        self.state = (seed * 0x9E3779B97F4A7C15 + 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF
        if self.state == 0:
            self.state = 0x2545F4914F6CDD1D
        self.spare = None

    def uniform(self):
        x = self.state
        x ^= (x >> 12)
        x ^= (x << 25) & 0xFFFFFFFFFFFFFFFF
        x ^= (x >> 27)
        self.state = x
        v = (x * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF
        return ((v >> 11) + 0.5) / 9007199254740992.0  # in (0, 1)

    def normal(self):
        if self.spare is not None:
            v, self.spare = self.spare, None
            return v
        r = math.sqrt(-2.0 * math.log(self.uniform()))
        t = 2.0 * math.pi * self.uniform()
        self.spare = r * math.sin(t)
        return r * math.cos(t)


# ----------------------------------------------------------------------------------------
# Small numerical helpers


def planck_ratio(lam, temp, lam_ref=5500.0):
    """B_lambda(T) at lam divided by B_lambda(T) at lam_ref (both in A)."""
    x = HC_OVER_K / (lam * temp)
    x0 = HC_OVER_K / (lam_ref * temp)
    if x > 700.0:
        return 0.0
    return (lam_ref / lam) ** 5 * math.expm1(x0) / math.expm1(x)


def smooth_step_down(lam, edge, width):
    """1 well below edge, 0 well above it."""
    z = (lam - edge) / width
    if z > 60.0:
        return 0.0
    if z < -60.0:
        return 1.0
    return 1.0 / (1.0 + math.exp(z))


def interp(xs, ys, x):
    """Linear interpolation on increasing xs; the end values outside."""
    if x <= xs[0]:
        return ys[0]
    if x >= xs[-1]:
        return ys[-1]
    k = bisect.bisect_right(xs, x) - 1
    t = (x - xs[k]) / (xs[k + 1] - xs[k])
    return ys[k] + t * (ys[k + 1] - ys[k])


def log_interp(table, x):
    """Piecewise-linear interpolation in a list of (x, y) pairs, clamped at the ends."""
    xs = [p[0] for p in table]
    ys = [p[1] for p in table]
    return interp(xs, ys, x)


def stepped_grid(pieces):
    """Concatenates ranges (start, stop_exclusive, step) of integer wavelengths."""
    grid = []
    for start, stop, step in pieces:
        grid.extend(float(v) for v in range(start, stop, step))
    for a, b in zip(grid, grid[1:]):
        assert b > a, "wavelength grid must increase strictly"
    return grid


# ----------------------------------------------------------------------------------------
# Toy simple stellar populations

# Temperature of the hottest stars still shining (turn-off, or the O stars when young).
T_HOT = [(6.0, 40000.0), (7.0, 22000.0), (8.0, 13000.0), (9.0, 8000.0), (9.7, 6500.0),
         (10.2, 5900.0)]
# Weight at 5500 A of the red (super)giants relative to the hot stars.
W_GIANT = [(6.0, 0.05), (6.8, 0.15), (7.3, 0.7), (8.0, 0.45), (9.0, 0.8), (10.2, 1.6)]
# Weight of the cool dwarfs and AGB stars (near-infrared bump).
W_COOL = [(6.0, 0.0), (8.0, 0.05), (9.0, 0.2), (10.2, 0.45)]

METAL_LINES = [(3933.7, 5.0, 1.0), (3968.5, 5.0, 0.9), (4304.4, 8.0, 0.45),
               (5175.4, 9.0, 0.45), (5269.0, 6.0, 0.25), (5892.5, 6.0, 0.5)]
BALMER_LINES = [(4101.7, 7.0, 0.8), (4340.5, 7.0, 0.9), (4861.3, 8.0, 1.0), (6562.8, 8.0, 0.9)]


def ssp_light_to_mass(age, met):
    """Flux at 4020 A in Lsun/A per solar mass formed (toy fading law)."""
    return 1.0e-3 * (age / 1.0e8) ** -0.85 * (met / 0.02) ** -0.15


def ssp_mass_fraction(age):
    """Fraction of the formed mass still in stars (1 at 1 Myr, about 0.55 at 13 Gyr)."""
    frac = 1.0 - 0.11 * max(0.0, math.log10(age) - 6.0)
    return round(min(1.0, frac), 4)


def ssp_params(age, met):
    """The age- and metallicity-dependent ingredients of ssp_shape, computed once."""
    logt = math.log10(age)
    zr = math.log10(met / 0.02)
    return {
        "t_hot": log_interp(T_HOT, logt) * (0.02 / met) ** 0.04,
        "t_giant": 4300.0 - 350.0 * zr,
        "w_giant": log_interp(W_GIANT, logt),
        "w_cool": log_interp(W_COOL, logt),
        "upturn": logt >= 9.5,  # hot horizontal branch / UV upturn of old populations
        # 4000 A break, deeper for old and metal-rich populations.
        "depth": min(0.6, max(0.0, 0.22 * (logt - 8.3))) * (met / 0.02) ** 0.25,
        # Balmer jump of the A-star dominated ages.
        "jump": 0.35 * math.exp(-((logt - 8.8) / 0.5) ** 2),
        "d_metal": min(0.6, 0.25 * min(1.0, max(0.0, (logt - 7.0) / 3.0)) * (met / 0.02) ** 0.5),
        "d_balmer": 0.05 + 0.3 * math.exp(-((logt - 8.7) / 0.6) ** 2),
    }


def ssp_shape(lam, p):
    """Unscaled SSP flux per A at lam: blackbody mix, breaks and absorption lines."""
    f = planck_ratio(lam, p["t_hot"])
    f += p["w_giant"] * planck_ratio(lam, p["t_giant"])
    f += p["w_cool"] * planck_ratio(lam, 3300.0)
    if p["upturn"]:
        f += 0.003 * planck_ratio(lam, 25000.0)
    f *= 1.0 - p["depth"] * smooth_step_down(lam, 4000.0, 40.0)
    f *= 1.0 - p["jump"] * smooth_step_down(lam, 3646.0, 15.0)
    for lines, depth in ((METAL_LINES, p["d_metal"]), (BALMER_LINES, p["d_balmer"])):
        for centre, sigma, scale in lines:
            z = (lam - centre) / sigma
            if abs(z) < 8.0:
                f *= 1.0 - depth * scale * math.exp(-0.5 * z * z)
    return f


def ssp_spectrum(grid, age, met, lam_norm=4020.0):
    """SSP flux on grid, scaled so that it equals ssp_light_to_mass at lam_norm."""
    p = ssp_params(age, met)
    scale = ssp_light_to_mass(age, met) / ssp_shape(lam_norm, p)
    return [float("%.6e" % (scale * ssp_shape(lam, p))) for lam in grid]


def age_tag(age):
    return "%05dMyr" % round(age / 1.0e6)


def met_tag(met):
    return "Z%.4f" % met


class Ssp:
    def __init__(self, age, met):
        self.age = age
        self.met = met
        self.code = "%s_%s" % (age_tag(age), met_tag(met))
        self.filename = "ssp_%s.dat" % self.code
        self.mstar = ssp_mass_fraction(age)
        self.flux = None      # on the base grid, set by make_base
        self.lum_norm = None  # flux at the normalisation wavelength, set by make_base


def make_base(grid, ages, mets, lam_norm=4020.0):
    """SSPs in base-file order: metallicity outer, age inner."""
    ssps = []
    for met in mets:
        for age in ages:
            s = Ssp(age, met)
            s.flux = ssp_spectrum(grid, age, met, lam_norm)
            s.lum_norm = interp(grid, s.flux, lam_norm)
            ssps.append(s)
    return ssps


def write_ssp_file(path, ssp, grid):
    lines = [
        "# Synthetic SSP spectrum (toy blackbody mix, not a real population model)",
        "# Generated by %s; do not edit by hand" % GENERATOR,
        "# age = %.4e yr   Z = %.4f   M*/Mformed = %.4f" % (ssp.age, ssp.met, ssp.mstar),
        "# lambda(A)   L_lambda (Lsun/A per solar mass formed)",
    ]
    lines += ["%.1f %.6e" % (lam, f) for lam, f in zip(grid, ssp.flux)]
    write_lines(path, lines)


def write_base_file(path, ssps):
    assert len({s.filename for s in ssps}) == len(ssps), "SSP file names must be unique"
    lines = ["%d   SSPs in this base -- synthetic, generated by %s" % (len(ssps), GENERATOR)]
    for s in ssps:
        lines.append("%-24s %11.4e %7.4f  %-14s %7.4f  0  0.0" %
                     (s.filename, s.age, s.met, s.code, s.mstar))
    lines += ["", "# Records after the SSP list are not read. Columns: file, age (yr), Z,",
              "# code, M*/Mformed (in (0, 1]), YAV flag, alpha/Fe."]
    write_lines(path, lines)


# ----------------------------------------------------------------------------------------
# Extinction laws q(lambda) = A(lambda) / A_V

X_GORDON = [0.455, 0.606, 0.800, 1.235, 1.538, 1.818, 2.273, 2.703, 3.375, 3.625, 3.875,
            4.125, 4.375, 4.625, 4.875, 5.125, 5.375, 5.625, 5.875, 6.125, 6.375, 6.625,
            6.875, 7.125, 7.375, 7.625, 7.875, 8.125, 8.375]
Q_GORDON = {
    "GD1": [0.016, 0.169, 0.131, 0.567, 0.801, 1.000, 1.374, 1.672, 2.000, 2.220, 2.428,
            2.661, 2.947, 3.161, 3.293, 3.489, 3.637, 3.866, 4.013, 4.243, 4.472, 4.776,
            5.000, 5.272, 5.575, 5.795, 6.074, 6.297, 6.436],
    "GD2": [0.101, 0.097, 0.299, 0.5004, 0.760, 1.000, 1.349, 1.665, 1.899, 2.067, 2.249,
            2.447, 2.777, 2.922, 2.921, 2.812, 2.805, 2.863, 2.932, 3.060, 3.110, 3.299,
            3.408, 3.515, 3.670, 3.862, 3.937, 4.055, 3.969],
    "GD3": [0.030, 0.186, 0.257, 0.4705, 0.7457, 1.000, 1.293, 1.518, 1.786, 1.969, 2.149,
            2.391, 2.771, 2.967, 2.846, 2.646, 2.565, 2.566, 2.598, 2.607, 2.668, 2.787,
            2.874, 2.983, 3.118, 3.231, 3.374, 3.366, 3.467],
}


def ext_q(code, lam):
    """A(lambda)/A_V of the law named by code (Calzetti, CCM with R_V = 3.1, Gordon)."""
    x = 1.0e4 / lam
    if code in ("CAL", "CCJ"):
        k = 4.05
        if code == "CCJ" and lam <= 1846.0:
            return (0.671 * x + 5.472 - 0.009218 * x * x + 0.00262 * x ** 3) / k
        if lam <= 6300.0:
            return (2.659 * (-2.156 + 1.509 * x - 0.198 * x * x + 0.011 * x ** 3) + k) / k
        return (2.659 * (-1.857 + 1.040 * x) + k) / k
    if code == "CCM":
        rv = 3.1
        if x >= 3.3:
            fa = fb = 0.0
            if x >= 5.9:
                y = x - 5.9
                fa = -0.04473 * y * y - 0.009779 * y ** 3
                fb = 0.2130 * y * y + 0.1207 * y ** 3
            a = 1.752 - 0.316 * x - 0.104 / ((x - 4.67) ** 2 + 0.341) + fa
            b = -3.090 + 1.825 * x + 1.206 / ((x - 4.62) ** 2 + 0.263) + fb
        elif x >= 1.1:
            y = x - 1.82
            a = (1 + 0.17699 * y - 0.50447 * y ** 2 - 0.02427 * y ** 3 + 0.72085 * y ** 4
                 + 0.01979 * y ** 5 - 0.77530 * y ** 6 + 0.32999 * y ** 7)
            b = (1.41338 * y + 2.28305 * y ** 2 + 1.07233 * y ** 3 - 5.38434 * y ** 4
                 - 0.62251 * y ** 5 + 5.30260 * y ** 6 - 2.09002 * y ** 7)
        else:
            p = x ** 1.61
            a, b = 0.574 * p, -0.527 * p
        return a + b / rv
    return interp(X_GORDON, Q_GORDON[code], x)


# ----------------------------------------------------------------------------------------
# Galaxies


class Galaxy:
    """One model: its fit (population, law, extinction) and what the result file holds."""

    def __init__(self, name, distance, law, a_v, flx_norm, light, seed,
                 gap=None, sn=40.0):
        self.name = name
        self.distance = distance      # Mpc; 0 shows the missing-distance warning
        self.law = law
        self.a_v = a_v
        self.flx_norm = flx_norm      # 1e-17 erg/s/cm2/A at lbd_norm
        self.light = light            # {base index: light fraction in per cent}
        self.seed = seed
        self.gap = gap                # (lam_from, lam_to): zero/negative fluxes there
        self.sn = sn


def normalised_ssps_on(obs_grid, base_grid, ssps, lam_norm):
    """Each SSP resampled on obs_grid and divided by its flux at lam_norm."""
    out = []
    for s in ssps:
        norm = interp(base_grid, s.flux, lam_norm)
        out.append([interp(base_grid, s.flux, lam) / norm for lam in obs_grid])
    return out


def write_result_file(path, gal, ssps, norm_ssps, obs_grid, fit):
    """A KW synthesis result laid out record by record as Veltrane reads it.

    fit: dict with base_file, l_ini, l_fin, l_norm. Values on "not used" records are
    made-up but of the right type; skipped records hold labels.
    """
    n_base = len(ssps)
    l_norm = fit["l_norm"]
    q_norm = ext_q(gal.law, l_norm)
    # Intrinsic flux at l_norm is the observed one corrected for the extinction there.
    unred = 10.0 ** (0.4 * gal.a_v * q_norm)
    mini = []
    for j, s in enumerate(ssps):
        mini.append(gal.light.get(j, 0.0) / 100.0 * gal.flx_norm * unred / s.lum_norm)
    mini_tot = sum(mini)
    mcor = [m * s.mstar for m, s in zip(mini, ssps)]
    mcor_tot = sum(mcor)

    # Observed spectrum: the same mixture, reddened, with noise; normalised at l_norm.
    rng = Rng(gal.seed)
    q_lam = [ext_q(gal.law, lam) for lam in obs_grid]
    syn = []
    for i in range(len(obs_grid)):
        f = 0.0
        for j, x in gal.light.items():
            f += x / 100.0 * norm_ssps[j][i]
        syn.append(f * 10.0 ** (-0.4 * gal.a_v * (q_lam[i] - q_norm)))
    rows = []
    n_gap = 0
    for lam, f in zip(obs_grid, syn):
        sigma = f / gal.sn
        obs = f + sigma * rng.normal()
        weight = 1.0 / sigma
        if gal.gap and gal.gap[0] <= lam <= gal.gap[1]:
            # Dead detector columns: zero and slightly negative counts, masked in the fit.
            obs = 0.0 if n_gap % 3 else -0.02 * (1.0 + rng.uniform())
            weight = 0.0
            n_gap += 1
        rows.append("%9.2f %12.5f %12.5f %10.3f" % (lam, obs, f, weight))

    sum_x = sum(gal.light.values())
    chi2 = 0.95 + 0.1 * rng.uniform()
    adev = 100.0 / gal.sn * 0.8
    n_obs = len(obs_grid)
    n_fit = sum(1 for lam in obs_grid if fit["l_ini"] <= lam <= fit["l_fin"])

    h = [
        "## Synthetic KW-style synthesis result for %s -- not real data" % DATASET,
        "## Generated by %s; do not edit by hand" % GENERATOR,
        "## Galaxy %s: %s law, A_V = %.3f, %d SSPs" % (gal.name, gal.law, gal.a_v, n_base),
        "##",
        "## Input files",
        "%s.obs.txt            [arq_obs]" % gal.name,                      # 6
        "%-22s [arq_base]" % fit["base_file"],                              # 7
        "Masks.example          [arq_masks]",                               # 8
        "KW.example.config      [arq_config]",                              # 9
        "%-22d [N_base]" % n_base,                                          # 10
        "0                      [N_YAV_components]",                        # 11
        "0                      [i_FitPowerLaw]",                           # 12
        "-0.5000                [alpha_PowerLaw]",                          # 13
        "%-22s [red_law_option]" % gal.law,                                 # 14
        "%-22.4f [q_norm = A(l_norm) over A(V)]" % q_norm,                  # 15
        "",                                                                 # 16
        "## Fit range and sampling",                                        # 17
        "%-22.1f [l_ini (A)]" % fit["l_ini"],                               # 18
        "%-22.1f [l_fin (A)]" % fit["l_fin"],                               # 19
        "2.0                    [dl (A)]",                                  # 20
        "",                                                                 # 21
        "## Normalization info",                                            # 22
        "%-22.1f [l_norm (A) - for base]" % l_norm,                         # 23
        "%-22.1f [llow_norm (A) - window for f_obs]" % (l_norm - 10.0),     # 24
        "%-22.1f [lupp_norm (A) - window for f_obs]" % (l_norm + 40.0),     # 25
        "%-22.5f [fobs_norm (in input units, 1e-17 erg s-1 cm-2 A-1)]" % gal.flx_norm,  # 26
        "",                                                                 # 27
        "## S over N",                                                      # 28
        "4730.0                 [llow_SN (A)]",                             # 29
        "4780.0                 [lupp_SN (A)]",                             # 30
        "%-22.3f [S over N in S over N window]" % gal.sn,                   # 31
        "%-22.3f [S over N in norm. window]" % (gal.sn * 0.9),              # 32
        "%-22.3f [S over N_err in S over N window]" % (gal.sn * 1.05),      # 33
        "%-22.3f [S over N_err in norm. window]" % (gal.sn * 0.95),         # 34
        "1.0000                 [fscale_chi2]",                             # 35
        "",                                                                 # 36
        "## Fit diagnostics",                                               # 37
        "##",                                                               # 38
        "%-22d [NOl_eff]" % n_obs,                                          # 39
        "%-22d [Nl_eff]" % n_fit,                                           # 40
        "%-6d NSIGMA          [Ntot_clipped & clip_method]" % (3 + gal.seed % 11),  # 41
        "5                      [Nglobal_steps]",                           # 42
        "7                      [N_chains]",                                # 43
        "0                      [NEX0s_base]",                              # 44
        "0 0 0                  [Clip_Bug, RC_Crash, Burn_In warning-flags]",  # 45
        "0.0 0.0 0.0 0.0        [n_censored_weights, wei_nsig_threshold, wei_limit, q]",  # 46
        "",                                                                 # 47
        "## Synthesis Results - Best model ##",                             # 48
        "",                                                                 # 49
        "%-22.5f [chi2 over Nl_eff]" % chi2,                                # 50
        "%-22.5f [adev (%%)]" % adev,                                       # 51
        "",                                                                 # 52
        "%-22.5f [sum-of-x (%%)]" % sum_x,                                  # 53
        "%-22.5f [Flux_tot (units of input spectrum)]" % gal.flx_norm,      # 54
        "%-22.6e [Mini_tot (solar masses per 4 pi d^2 1e-17 over Lsun)]" % mini_tot,                              # 55
        "%-22.6e [Mcor_tot (same units)]" % mcor_tot,                              # 56
        "",                                                                 # 57
        "0.0000                 [v0_min  (km per s)]",                      # 58
        "%-22.4f [vd_min  (km per s)]" % (80.0 + 10.0 * (gal.seed % 7)),    # 59
        "%-22.4f [AV_min  (mag)]" % gal.a_v,                                # 60
        "0.0000                 [YAV_min (mag)]",                           # 61
        "",                                                                 # 62
        "# j     x_j(%)   Mini_j(%)   Mcor_j(%)      age_j(yr)     Z_j"
        "       (L/M)_j  YAV?  Mstars  component_j               a/Fe",  # 63
    ]
    assert len(h) == 63, len(h)
    for j, s in enumerate(ssps):
        x = gal.light.get(j, 0.0)
        h.append("%4d %9.4f %11.4f %11.4f %14.4e %8.4f %13.4e %4d %7.4f  %-24s %5.2f" % (
            j + 1, x, 100.0 * mini[j] / mini_tot, 100.0 * mcor[j] / mcor_tot,
            s.age, s.met, s.lum_norm, 0, s.mstar, s.filename, 0.0))
    # 2 * N_base + 17 records that Veltrane skips: the fit's Markov-chain summaries.
    skipped = ["", "## Last chains: light fractions (%) per SSP, per chain"]
    for j in range(n_base):
        skipped.append("%4d" % (j + 1) + "".join(
            " %7.3f" % max(0.0, gal.light.get(j, 0.0) + 0.5 * rng.normal()) for _ in range(4)))
    skipped += ["", "## Last chains: mass fractions (%) per SSP, per chain"]
    for j in range(n_base):
        skipped.append("%4d" % (j + 1) + "".join(
            " %7.3f" % max(0.0, 100.0 * mini[j] / mini_tot + 0.5 * rng.normal())
            for _ in range(4)))
    skipped += ["", "## Last chains: A_V, chi2 and mass totals per chain"]
    for c in range(4):
        skipped.append("%4d %8.4f %9.5f %12.5e %12.5e" % (
            c + 1, gal.a_v + 0.01 * rng.normal(), chi2 + 0.01 * abs(rng.normal()),
            mini_tot, mcor_tot))
    skipped += ["", "## Power-law component: none", "",
                "## Best-fit kinematics and extinction are listed above", "",
                "## Synthetic spectrum (Best Model) ##l_obs f_obs f_syn wei",
                "## (fluxes in units of fobs_norm; weight 0 marks masked pixels)"]
    assert len(skipped) == 2 * n_base + 17, len(skipped)
    lines = h + skipped + ["%-22d [Nl_obs]" % n_obs] + rows
    write_lines(path, lines)
    return {"mini_tot": mini_tot, "mcor_tot": mcor_tot}


# ----------------------------------------------------------------------------------------
# Filters and standard spectra


def filter_curve(lo, w_lo, hi, w_hi, step):
    """Smooth band pass: two logistic edges, peak normalised to 1, strictly increasing."""
    start = int(math.floor((lo - 6.0 * w_lo) / step)) * step
    stop = int(math.ceil((hi + 6.0 * w_hi) / step)) * step
    lams = [float(v) for v in range(start, stop + step, step)]
    raw = [(1.0 - smooth_step_down(l, lo, w_lo)) * smooth_step_down(l, hi, w_hi) for l in lams]
    peak = max(raw)
    return lams, [float("%.5f" % (t / peak)) for t in raw]


def write_filter_file(path, label, lams, trans):
    assert 50 <= len(lams) <= 500, (label, len(lams))
    header = [
        "# Synthetic filter curve %s -- an analytic band pass, not a measured one" % label,
        "# Generated by %s; do not edit by hand" % GENERATOR,
        "# The first 15 records of a filter file are skipped by Veltrane.",
        "# Columns: wavelength (A), transmission (peak 1)",
        "# Samples: %d, from %.1f to %.1f A" % (len(lams), lams[0], lams[-1]),
    ]
    header += ["#"] * (15 - len(header))
    write_lines(path, header + ["%9.1f %9.5f" % (l, t) for l, t in zip(lams, trans)])


def standard_grid():
    return stepped_grid([(1000, 3000, 10), (3000, 10000, 5), (10000, 30001, 20)])


def standard_spectrum(grid, temp, f5500, balmer_jump=0.0, uv_blanket=0.0):
    """Blackbody scaled to f5500 at 5500 A, with an optional Balmer jump (A stars) and a
    blue line-blanketing dip (cool stars)."""
    out = []
    for lam in grid:
        f = f5500 * planck_ratio(lam, temp)
        if balmer_jump:
            f *= 1.0 - balmer_jump * smooth_step_down(lam, 3646.0, 20.0)
        if uv_blanket:
            f *= 1.0 - uv_blanket * smooth_step_down(lam, 4000.0, 300.0)
        out.append(f)
    return out


def write_standard_file(path, label, grid, flux, note):
    assert len(grid) <= 10000
    lines = ["%s %d   %s -- synthetic, generated by %s" % (label, len(grid), note, GENERATOR)]
    lines += ["%.1f %.6e" % (l, f) for l, f in zip(grid, flux)]
    write_lines(path, lines)


def write_standards(fil_dir, grid):
    write_standard_file(os.path.join(fil_dir, "VegaLR.dat"), "VegaLR", grid,
                        standard_spectrum(grid, 9600.0, 3.6e-9, balmer_jump=0.45),
                        "9600 K blackbody with a Balmer jump, erg s-1 cm-2 A-1")
    write_standard_file(os.path.join(fil_dir, "Sun_LR.dat"), "Sun_LR", grid,
                        standard_spectrum(grid, 5778.0, 190.0, uv_blanket=0.3),
                        "5778 K blackbody at 1 AU, erg s-1 cm-2 A-1")
    write_standard_file(os.path.join(fil_dir, "BD+17d4708.dat"), "BD+17d4708", grid,
                        standard_spectrum(grid, 6000.0, 5.0e-13, uv_blanket=0.15),
                        "6000 K blackbody, erg s-1 cm-2 A-1")


def write_filter_set(fil_dir, filters):
    """filters: list of (file name, (lo, w_lo, hi, w_hi, step))."""
    for name, (lo, w_lo, hi, w_hi, step) in filters:
        lams, trans = filter_curve(lo, w_lo, hi, w_hi, step)
        write_filter_file(os.path.join(fil_dir, name), name[:-4], lams, trans)
    lines = ["%d   filters -- synthetic set, generated by %s" % (len(filters), GENERATOR)]
    lines += [name for name, _ in filters]
    write_lines(os.path.join(fil_dir, "ListFilters.txt"), lines)


# ----------------------------------------------------------------------------------------
# Grid file


def write_grid_file(path, models, path_dir, base_dir, fil_dir, t_cut, phyunits,
                    ext_corr, print_fil, fverbose, notes=()):
    """Nine parameter records (fixed fields where the format asks for them), then models.

    The labels after column 15 of the (i15) and (e15.5) records and after the first word
    of the other records are never read.
    """
    lines = [
        "%15d    N_models" % len(models),
        "%-18s path_DIR" % path_dir,
        "%-18s base_SSP" % base_dir,
        "%-18s Fil__Dir" % fil_dir,
        "%-18s t_cutGyr (Gyr)" % t_cut,
        "%15s    Phyunits (erg s-1 cm-2 A-1 per unit flux)" % phyunits,
        "%15d    Ext_Corr" % ext_corr,
        "%15d    PrintFil" % print_fil,
        "%15d    Fverbose" % fverbose,
    ]
    lines += ["%-10s %8.2f" % (name, dist) for name, dist in models]
    lines += list(notes)
    write_lines(path, lines)


def write_lines(path, lines):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = "\n".join(lines) + "\n"
    try:
        with open(path, "r", encoding="utf-8", newline="") as f:
            if f.read() == data:
                return  # leave an unchanged file (and its time stamp) alone
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(data)


# ----------------------------------------------------------------------------------------
# The bundled example

EXAMPLE_AGES = [1.0e6, 2.5e7, 4.0e8, 2.5e9, 1.3e10]
EXAMPLE_METS = [0.004, 0.02, 0.05]
EXAMPLE_FIT = {"base_file": "Base.example", "l_ini": 3650.0, "l_fin": 7000.0,
               "l_norm": 4020.0}

EXAMPLE_FILTERS = [
    ("John_U.dat", (3250.0, 60.0, 3950.0, 70.0, 10)),
    ("John_B.dat", (3900.0, 80.0, 4900.0, 90.0, 10)),
    ("John_V.dat", (5050.0, 60.0, 5950.0, 110.0, 10)),
    ("Cous_R.dat", (5700.0, 80.0, 7150.0, 150.0, 10)),
    ("Cous_I.dat", (7300.0, 80.0, 8700.0, 150.0, 10)),
    ("SDSS_u.dat", (3250.0, 50.0, 3900.0, 60.0, 10)),
    ("SDSS_g.dat", (3950.0, 50.0, 5400.0, 60.0, 10)),
    ("SDSS_r.dat", (5550.0, 50.0, 6850.0, 60.0, 10)),
    ("SDSS_i.dat", (6950.0, 60.0, 8250.0, 70.0, 10)),
    ("SDSS_z.dat", (8300.0, 80.0, 9900.0, 250.0, 10)),
]


def example_base_grid():
    # 20 A in the ultraviolet, 5 A in the optical, 50 A in the near infrared.
    return stepped_grid([(1000, 3000, 20), (3000, 9000, 5), (9000, 25001, 50)])


def ssp_index(age, met):
    return EXAMPLE_METS.index(met) * len(EXAMPLE_AGES) + EXAMPLE_AGES.index(age)


def example_galaxies():
    def light(pairs):
        out = {ssp_index(a, z): x for (a, z), x in pairs.items()}
        assert abs(sum(out.values()) - 100.0) < 1e-9
        return dict(sorted(out.items()))

    return [
        Galaxy("gal01", 45.0, "CAL", 0.35, 850.0, light({
            (1.0e6, 0.004): 8.0, (1.0e6, 0.02): 12.0, (2.5e7, 0.02): 15.0,
            (4.0e8, 0.004): 10.0, (4.0e8, 0.02): 12.0, (2.5e9, 0.02): 18.0,
            (2.5e9, 0.05): 5.0, (1.3e10, 0.02): 15.0, (1.3e10, 0.05): 5.0}), seed=101),
        Galaxy("gal02", 120.0, "CCM", 0.60, 240.0, light({
            (1.0e6, 0.02): 4.0, (2.5e7, 0.004): 6.0, (2.5e7, 0.05): 3.0,
            (4.0e8, 0.02): 20.0, (2.5e9, 0.004): 12.0, (2.5e9, 0.02): 25.0,
            (1.3e10, 0.02): 20.0, (1.3e10, 0.05): 10.0}), seed=202, gap=(5560.0, 5590.0)),
        Galaxy("gal03", 0.0, "GD1", 0.15, 1500.0, light({
            (4.0e8, 0.02): 3.0, (2.5e9, 0.02): 17.0, (2.5e9, 0.05): 15.0,
            (1.3e10, 0.004): 10.0, (1.3e10, 0.02): 30.0, (1.3e10, 0.05): 25.0}),
            seed=303, sn=60.0),
        Galaxy("gal04", 180.0, "CCJ", 0.85, 95.0, light({
            (1.0e6, 0.02): 20.0, (1.0e6, 0.05): 5.0, (2.5e7, 0.004): 7.0,
            (2.5e7, 0.02): 18.0, (4.0e8, 0.02): 15.0, (2.5e9, 0.02): 10.0,
            (1.3e10, 0.004): 10.0, (1.3e10, 0.02): 15.0}), seed=404, sn=25.0),
    ]


def make_example(out_dir):
    base_grid = example_base_grid()
    ssps = make_base(base_grid, EXAMPLE_AGES, EXAMPLE_METS, EXAMPLE_FIT["l_norm"])
    base_dir = os.path.join(out_dir, "base")
    for s in ssps:
        write_ssp_file(os.path.join(base_dir, s.filename), s, base_grid)
    write_base_file(os.path.join(base_dir, EXAMPLE_FIT["base_file"]), ssps)

    obs_grid = [3600.0 + 2.0 * k for k in range(1951)]  # 3600 .. 7500 A
    norm_ssps = normalised_ssps_on(obs_grid, base_grid, ssps, EXAMPLE_FIT["l_norm"])
    galaxies = example_galaxies()
    for gal in galaxies:
        write_result_file(os.path.join(out_dir, "galaxies", gal.name), gal, ssps,
                          norm_ssps, obs_grid, EXAMPLE_FIT)

    fil_dir = os.path.join(out_dir, "filters")
    write_standards(fil_dir, standard_grid())
    write_filter_set(fil_dir, EXAMPLE_FILTERS)

    write_grid_file(
        os.path.join(out_dir, "grid.in"), [(g.name, g.distance) for g in galaxies],
        "galaxies/", "base/", "filters/", "1.0", "1.0E-17", 0, 2, 0,
        notes=["", "# Synthetic example grid, generated by %s." % GENERATOR,
               "# Run from examples/:  ../build/veltrane grid.in",
               "# Records after the last model are not read."])


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(root, "examples")
    make_example(out_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
