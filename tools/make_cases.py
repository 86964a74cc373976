#!/usr/bin/env python3
"""Writes the inputs of Veltrane's golden process cases under tests/cases/.

    python3 tools/make_cases.py          # from the repository root

Each case is a directory tests/cases/NAME/ holding
  about         what the case checks (one paragraph; not an input)
  cmd           the shell commands the case runs in a scratch copy of its inputs, with
                $VELTRANE naming the binary (absent: "$VELTRANE" grid.in)
  inputs_change present when the case changes its inputs while a run lasts (not an input):
                it is not run with --fixed-inputs
  ...           its input files (grid files, synthesis results, bases, filter sets);
                tests/cases/_shared/ (a base and a filter set) is copied first
  expected/     what the run must leave: stdout, status, stderr (when not empty),
                files/... (every file the run wrote or changed, ".LOG" dates as <DATE>) and
                gone (input files the run removed)
tests/driver/cases_test.cpp runs every case and compares bytes. The expected/ directories
were made once by running the cases (VELTRANE_RECORD_CASES=1) and then checked by hand
against docs/formulae.md; this script never touches them.

Everything here is synthetic: blackbody shapes, box filters and hand-picked numbers, written
with nine significant digits so that each value reads back as the same float.
"""

import math
import os
import shutil
import struct
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
OUT = os.path.join(ROOT, "tests", "cases")
HC_OVER_K = 1.4387769e8  # h c / k in A K


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def num(x):
    if isinstance(x, str):
        return x
    return "%.9g" % f32(x)


def steps(lo, hi, step):
    n = int(round((hi - lo) / step))
    return [lo + step * i for i in range(n + 1)]


def planck(lam, temp):
    """B_lambda(T) at lam divided by its value at 5500 A."""
    x = HC_OVER_K / (lam * temp)
    x0 = HC_OVER_K / (5500.0 * temp)
    return (5500.0 / lam) ** 5 * math.expm1(x0) / math.expm1(x)


# ----------------------------------------------------------------------------------------
# Input files


class Result:
    """A synthesis result file: 63 header records, the population table, 2N + 17 skipped
    records, the observed spectrum. `replace` swaps whole records (1-based) for other text."""

    def __init__(self):
        self.base_file = "Base.txt"
        self.law = "CAL"
        self.qlbdnorm = 0.0
        self.olsynini, self.olsynfin = 3700.0, 7900.0
        self.lbd_norm = 4020.0
        self.flx_norm = 2.5
        self.mass_tot_2, self.mass_tot_3 = 2.0e9, 1.0e9
        self.a_v = 0.3
        self.num_base = None  # the count on record 10 (None: the number of rows)
        # x_j, m2_j, m3_j, age, metallicity, SSP file
        self.rows = [(50.0, 10.0, 8.0, 1.0e7, 0.02, "ssp_y.txt"),
                     (30.0, 30.0, 32.0, 3.0e9, 0.02, "ssp_m.txt"),
                     (20.0, 60.0, 60.0, 1.0e10, 0.02, "ssp_o.txt")]
        self.obs = [(l, 0.9 + 0.2 * (l - 3600.0) / 4400.0, 0.01, 1.0)
                    for l in steps(3600.0, 8000.0, 10.0)]
        self.comments = False
        self.replace = {}
        self.cut_after = None  # keep only this many records
        self.n_obs = None  # the count written before the spectrum (None: its length)

    def text(self):
        c = "   ! comment, with words" if self.comments else ""
        r = {i: "# skipped record %d" % i for i in range(1, 64)}
        nb = len(self.rows) if self.num_base is None else self.num_base
        r.update({6: "spectrum.txt" + c, 7: self.base_file + c, 8: "mask.txt" + c,
                  9: "config.txt" + c, 10: str(nb) + c, 11: "3" + c, 12: "4" + c,
                  13: "1.5" + c, 14: self.law + c, 15: num(self.qlbdnorm) + c,
                  18: num(self.olsynini) + c, 19: num(self.olsynfin) + c, 20: "1.0" + c,
                  23: num(self.lbd_norm) + c, 24: "4000." + c, 25: "4100." + c,
                  26: num(self.flx_norm) + c, 39: "1" + c, 40: "2" + c, 41: "5 token" + c,
                  45: "1 2 3" + c, 46: "1.0 2.0 3.0 4.0" + c, 50: "1.0" + c, 51: "1.0" + c,
                  53: "1.0" + c, 54: "1.0" + c, 55: num(self.mass_tot_2) + c,
                  56: num(self.mass_tot_3) + c, 58: "1.0" + c, 59: "1.0" + c,
                  60: num(self.a_v) + c, 61: "1.0" + c})
        for i in range(29, 36):
            r[i] = "0.5" + c
        for i in range(42, 45):
            r[i] = "7" + c
        r.update(self.replace)
        lines = [r[i] for i in range(1, 64)]
        for j, (x, m2, m3, age, met, name) in enumerate(self.rows):
            lines.append("  %d %s %s %s %s %s 0.0 0.0 0.0 %s 0.0%s"
                         % (j + 1, num(x), num(m2), num(m3), num(age), num(met), name, c))
        lines += ["# skipped"] * max(0, 2 * nb + 17)
        lines.append(str(len(self.obs) if self.n_obs is None else self.n_obs) + c)
        lines += ["%s %s %s %s%s" % (num(a), num(b), num(s), num(w), c)
                  for a, b, s, w in self.obs]
        if self.cut_after is not None:
            lines = lines[:self.cut_after]
        return "\n".join(lines) + "\n"


class Grid:
    """A grid file: the nine parameter records, then one record per model."""

    def __init__(self, models=("gal01 45.0",)):
        self.n_models = None  # None: the number of models
        self.path_dir, self.base_dir, self.fil_dir = "./", "base/", "filters/"
        self.t_cut, self.phyunits = "1.0", "1.0E-17"
        self.ext_corr, self.print_fil, self.verbose = "0", "1", "0"
        self.models = list(models)

    def text(self):
        n = len(self.models) if self.n_models is None else self.n_models
        recs = [str(n), self.path_dir, self.base_dir, self.fil_dir, self.t_cut,
                self.phyunits, self.ext_corr, self.print_fil, self.verbose]
        return "\n".join(recs + self.models) + "\n"


def ssp_text(lams, fluxes, header=("# synthetic SSP", "# lambda  flux")):
    body = ["%s %s" % (num(l), num(f)) for l, f in zip(lams, fluxes)]
    return "\n".join(list(header) + body) + "\n"


def base_record(name, age, met="0.02", mst="0.7", code=None):
    return "%s %s %s %s %s 0.0 0.004" % (name, num(age), num(met), code or "code_" + name,
                                        num(mst))


def base_files(directory, ssps, base_name="Base.txt"):
    """ssps: (file, age, mst, lambdas, fluxes). Returns {path: text}."""
    files = {"%s/%s" % (directory, base_name):
             "%d   [N_base]\n" % len(ssps)
             + "".join(base_record(f, a, mst=m) + "\n" for f, a, m, _, _ in ssps)}
    for f, _, _, lams, fl in ssps:
        files["%s/%s" % (directory, f)] = ssp_text(lams, fl)
    return files


BASE_GRID = steps(3000.0, 9000.0, 20.0)
SSPS = [("ssp_y.txt", 1.0e7, 0.9, 15000.0),
        ("ssp_m.txt", 3.0e9, 0.7, 7000.0),
        ("ssp_o.txt", 1.0e10, 0.6, 4500.0)]


def standard_base(directory="base", grid=BASE_GRID):
    return base_files(directory, [(f, a, m, grid, [planck(l, t) for l in grid])
                                  for f, a, m, t in SSPS])


def standard_text(lams, fluxes):
    return "star %d\n" % len(lams) + "".join(
        "%s %s\n" % (num(l), num(f)) for l, f in zip(lams, fluxes))


def filter_text(lams, trans, header=15):
    return "".join("# header %d\n" % (i + 1) for i in range(header)) + "".join(
        "%s %s\n" % (num(l), num(t)) for l, t in zip(lams, trans))


def box(lo, hi, step):
    lams = steps(lo, hi, step)
    return lams, [min(1.0, max(0.0, min(l - lo, hi - l) / (0.1 * (hi - lo)))) for l in lams]


STAR_GRID = steps(1500.0, 12000.0, 20.0)
FILTERS = [("BoxBlue.dat", box(4000.0, 5000.0, 10.0)),
           ("BoxRedFilterLongName.dat", box(5600.0, 6600.0, 10.0)),
           ("WideRed.dat", box(7000.0, 9400.0, 20.0))]


def filter_set(directory="filters", filters=FILTERS, vega=None, sun=None, bd=None,
               listed=None):
    vega = vega or (STAR_GRID, [3.6e-9 * planck(l, 9600.0) for l in STAR_GRID])
    sun = sun or (STAR_GRID, [1.9e2 * planck(l, 5800.0) for l in STAR_GRID])
    bd = bd or (STAR_GRID, [6.0e-13 * planck(l, 6500.0) for l in STAR_GRID])
    files = {directory + "/VegaLR.dat": standard_text(*vega),
             directory + "/Sun_LR.dat": standard_text(*sun),
             directory + "/BD+17d4708.dat": standard_text(*bd)}
    names = [n for n, _ in filters]
    files[directory + "/ListFilters.txt"] = (listed if listed is not None else
                                             "%d\n" % len(names) + "".join(n + "\n" for n in names))
    for n, curve in filters:
        files[directory + "/" + n] = curve if isinstance(curve, str) else filter_text(*curve)
    return files


# ----------------------------------------------------------------------------------------
# Cases


CASES = {}
SHARED_DEFAULTS = {"grid.in": Grid().text(), "gal01": Result().text()}


def case(name, about, files, cmd=None):
    assert name not in CASES, name
    CASES[name] = (about, files, cmd)


def one(grid=None, results=None, extra=None, cmd=None):
    """Files of a run: grid.in and the result files (name: Result)."""
    grid = grid or Grid()
    results = results if results is not None else {"gal01": Result()}
    files = {"grid.in": grid.text()}
    for n, r in results.items():
        files[n] = r.text() if isinstance(r, Result) else r
    files.update(extra or {})
    # _shared holds the default grid file and result: no copy of them.
    return {k: v for k, v in files.items() if SHARED_DEFAULTS.get(k) != v}


def runs(*lines):
    """A cmd of several runs, each followed by its exit status on standard output."""
    return "".join('%s; echo "status $?"\n' % l for l in lines)


STDIN_PARAMS = "1\n./\nbase/\nfilters/\n1.0\n1.0E-17\n0\n1\n0\n"


def driver_cases():
    case("run_stdin_no_models",
         "Standard input with a model count of 0 stops with 'No grid file or arguments', "
         "status 1, whatever follows; an empty first argument means no argument.",
         {"params.txt": "0\n./\n./\n./\n1.0\n1.0\n0\n1\n1\n"},
         runs('"$VELTRANE" < params.txt', '"$VELTRANE" "" grid.in < params.txt'))
    bad = {"empty.txt": "", "short.txt": "1\n./\n./\n",
           "badreal.txt": "1\n./\n./\n./\nabc\n1.0\n0\n1\n0\n",
           "badint.txt": "1\n./\n./\n./\n1.0\n1.0\n0.5\n1\n0\n",
           "nomodel.txt": STDIN_PARAMS}
    case("run_bad_parameter_records",
         "Missing or unreadable parameter records (empty input, too few records, a text "
         "for a real, a real in an (i15) field, a grid file that is a directory) stop with "
         "'Bad or missing run parameter record', a missing model record with 'Bad or "
         "missing model record'; status 1 each.",
         bad, "mkdir grid.d\n" + runs(*['"$VELTRANE" < ' + f for f in sorted(bad)],
                                      '"$VELTRANE" grid.d'))
    case("run_missing_grid_file",
         "A grid file that does not exist: the existence listing, 'WRONG grid file', "
         "status 1.", {}, '"$VELTRANE" no_such_grid')
    g1, g2, g3 = Grid(()), Grid(()), Grid(())
    g1.path_dir, g1.t_cut, g1.phyunits = "data/ trailing words", "0.05", "1"
    g2.t_cut, g2.phyunits = "10", "-2."
    g3.verbose = "1"
    case("run_grid_echo",
         "The parameter echo: a directory used up to its first blank, the free-format "
         "t_cutGyr, Phyunits in e15.5 (the digit 1 without a point reads 1E-5); a negative "
         "Phyunits is echoed then warned about; Fverbose 1 prints only the banner twice.",
         {"g1.in": g1.text(), "g2.in": g2.text(), "g3.in": g3.text()},
         runs('"$VELTRANE" g1.in', '"$VELTRANE" g2.in', '"$VELTRANE" g3.in'))
    misuse = [["a", "b"], ["a", "b", "c", "d", "e"],
              ["gal", "10", "./", "./", "./", "1.0"],
              ["gal", "ten", "./", "./", "./", "1.0", "1.0"],
              ["gal", "   ", "./", "./", "./", "1.0", "1.0"],
              ["gal", "10", "./", "./", "./", "x", "1.0"],
              ["gal", "10", "./", "./", "./", "1.0", "1.0", "1.5"],
              ["gal", "10", "./", "./", "./", "1.0", "1.0", "1", "abc"],
              ["gal", "10", "./", "./", "./", "1.0", "1.0", "1", "1", "x"]]
    case("run_command_line_misuse",
         "Wrong argument counts and unreadable arguments: one error line each, status 2.",
         {}, runs(*['"$VELTRANE" ' + " ".join("'%s'" % a for a in args) for args in misuse]))
    case("run_arguments_one_model",
         "Six to ten arguments run one model: arguments 8 to 10 left out read 0 (no "
         "table); '1 2' in an (i15) argument is 12; an eleventh argument is ignored.",
         one(Grid(())),
         runs('"$VELTRANE" gal01 10 ./ base/ filters/ 5 1.0E-17',
              '"$VELTRANE" gal01 10 ./ base/ filters/ 5 1.0E-17 0 "1 2" 0 extra'))
    g = Grid(["missing 0.0", "gal01 5.0"])
    case("run_missing_result_keeps_log",
         "A missing synthesis result: its report on the console and as the whole log "
         "(bare date line), no table; the next model runs and keeps no log.", one(g))
    case("run_success_removes_old_log",
         "A log left by an earlier run is removed by a model that succeeds.",
         one(extra={"gal01.LOG": "    an old report\n"}))
    r = Result()
    r.replace[26] = "not-a-number"
    case("run_unreadable_result",
         "A result file with a text where flx_norm belongs: the 'arqKWsynt contains ERROR' "
         "report, a log, no table.", one(results={"gal01": r}))
    case("run_stdout_unwritable",
         "Standard output that cannot be written (a full device): the galaxy is processed and "
         "its table written, then 'cannot write to standard output' on standard error and "
         "status 1.", {}, runs('"$VELTRANE" grid.in > /dev/full'))
    g = Grid(["g" * 591 + " 1.0", "gal01 1.0"])
    case("run_overlong_name",
         "A path_DIR and model name longer than 592 characters: the model is skipped with "
         "a warning, and the next one runs.", one(g))
    case("run_name_at_text_limit",
         "A path_DIR and model name of exactly 592 characters are not too long: the model is "
         "processed. Its result file, a name beyond the file system's limit, is missing, and "
         "its log cannot be written either: 'Cannot write', status 1.",
         one(Grid(["g" * 590 + " 1.0"])))
    records = ["gal01 10.0", "gal02/ 20.0", "gal03,,30.0", ", 40.0"]
    params = STDIN_PARAMS.replace("1\n", "%d\n" % len(records), 1)
    case("run_model_records_unread",
         "Galaxy records that leave a value unread, from a grid file and from standard input: "
         "a slash after the name and a null distance give distance 0 (no distance term), a null "
         "name a blank one (the directory itself, which cannot be read); never the galaxy "
         "before's name or distance.",
         one(Grid(records), {"gal01": Result(), "gal02": Result(), "gal03": Result()},
             {"params.txt": params + "\n".join(records) + "\n"}),
         runs('"$VELTRANE" grid.in', '"$VELTRANE" < params.txt'))
    # Long galaxy names: the tables' names (name + ".MAG.out", ".SPC.out", 8 bytes; with
    # --ecsv ".mag.ecsv", 9) must fit the 255-byte limit of a file name, and so must every
    # temporary name they are written through. A 13-point base keeps the spectrum tables short.
    small = steps(3000.0, 9000.0, 500.0)
    small_base = base_files("small", [(f, a, m, small, [planck(l, t) for l in small]) for f, a, m, t in SSPS])
    long_name = lambda n: ("SDSS_J123456.78+012345.6_" * 11)[:n]
    g = Grid([long_name(240) + " 10.0", "gal01 10.0"])
    g.print_fil, g.base_dir = "2", "small/"
    case("run_name_240_characters",
         "A galaxy name of 240 characters: its tables (248-byte names) are written, and the run "
         "goes on to the next galaxy, status 0.",
         one(g, {long_name(240): Result(), "gal01": Result()}, small_base))
    files = dict(small_base)
    for n in (246, 247, 248):
        g = Grid([long_name(n) + " 10.0"])
        g.print_fil, g.base_dir = "2", "small/"
        files["grid%d.in" % n] = g.text()
        files[long_name(n)] = Result().text()
    case("run_name_at_file_name_limit",
         "The longest galaxy names whose tables fit a 255-byte file name: 247 characters for "
         ".MAG.out and .SPC.out, 246 with --ecsv (.mag.ecsv, .spc.ecsv); status 0. One character "
         "more and the table cannot be written: 'Cannot write', status 1.",
         files, runs('"$VELTRANE" grid247.in', '"$VELTRANE" --ecsv grid246.in', '"$VELTRANE" grid248.in'))
    case("run_stdin_models_continue",
         "Parameters and model records from standard input; a model record may go on into "
         "the next line.",
         one(Grid(()), extra={"params.txt": STDIN_PARAMS + "gal01,\n 3.5\n"}),
         '"$VELTRANE" < params.txt')


def chain_cases():
    g = Grid()
    g.print_fil = "2"
    case("chain_full_tables",
         "Three SSPs, reddened models (A_V 0.3, CAL), both tables: young + old = total, "
         "the extended spectrum holds the base points outside the trimmed observation "
         "(7900 A, both observed and on the grid, once).", one(g))
    vg = steps(3000.0, 9000.0, 20.0)
    vega_flux = [3.6e-9 * planck(l, 9600.0) for l in vg]
    r = Result()
    r.base_file = "VegaBase.txt"
    r.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "vega_ssp.txt")]
    r.flx_norm = f32(3.6e-9 * planck(4020.0, 9600.0))
    r.a_v = 0.0
    g = Grid()
    g.phyunits = "1.0"
    case("chain_vega_model",
         "A model made of one SSP shaped like Vega and scaled to Vega's flux at lbd_norm: "
         "m_tot is 0 in the Vega system for every filter inside the base.",
         one(g, {"gal01": r}, base_files("base", [("vega_ssp.txt", 1.0e9, 0.5, vg, vega_flux)],
                                        "VegaBase.txt")))
    for name, cut, about in [("all_young", "100.0", "every SSP young: old spectrum 0, old masses -999"),
                             ("all_old", "0.0", "every SSP old: young spectrum 0, young masses -999"),
                             ("exact", "3.0", "the SSP aged exactly 3 Gyr counts as old")]:
        g = Grid()
        g.print_fil, g.t_cut = "2", cut
        case("chain_age_cut_" + name, "Age cut %s Gyr: %s." % (cut, about), one(g))
    r = Result()
    r.rows = [(x, m2, 0.0 if age >= 1.0e9 else m3, age, met, f)
              for x, m2, m3, age, met, f in r.rows]
    g = Grid()
    g.print_fil = "2"
    case("chain_old_without_m3",
         "Old SSPs carrying light but no m3_j: the whole population counts as young.",
         one(g, {"gal01": r}))
    r = Result()
    r.mass_tot_2, r.mass_tot_3 = 2.0e9, 5.0e8
    g = Grid(["gal01 20.0"])
    case("chain_known_masses",
         "Masses for known totals (2e9, 5e8), distance 20 Mpc and Phyunits 1E-17: "
         "log10 M - 33.582745 + log10 Phyunits + log10(4 pi d^2), young and old shares.",
         one(g, {"gal01": r}))
    case("chain_distance_missing",
         "Distances 0 and -1: the warning once per model and masses without the distance "
         "term.", one(Grid(["gal01 0.0", "gal01 -1.0"])))
    g = Grid(["gal01 0.0"])
    g.print_fil = "0"
    case("chain_print_level_0", "PrintFil 0: no table and no distance warning.", one(g))
    for name, corr, av, about in [
            ("dereddened_negative_av", "1", -0.3, "Ext_Corr 1 with A_V < 0 keeps the "
             "observation untouched and reddens the models"),
            ("zero_av_ext_corr_0", "0", 0.0, "A_V 0 without correction: the same tables as "
             "with correction"),
            ("zero_av_ext_corr_1", "1", 0.0, "A_V 0 with correction: the same tables as "
             "without"),
            ("dereddened_av", "1", 0.5, "Ext_Corr 1 with A_V 0.5: the observation is "
             "multiplied by 10^(0.4 A_V q(lambda)) and the models scaled by "
             "flx_norm 10^(0.4 q(lbd_norm) - qn) A_V)")]:
        g = Grid()
        g.print_fil, g.ext_corr = "2", corr
        r = Result()
        r.a_v = av
        case("chain_" + name, about + ".", one(g, {"gal01": r}))
    g = Grid(["gal01 45.0", "gal02 45.0"])
    g.print_fil = "2"
    r1, r2 = Result(), Result()
    r1.obs[19] = (r1.obs[19][0], -1.0, 0.0, 0.0)  # trimmed position 10
    r2.obs[12] = (r2.obs[12][0], -1.0, 0.0, 0.0)  # trimmed position 3
    case("chain_gap_repair",
         "A non-positive observed flux at trimmed position 10 replaces positions 5 to 15 "
         "by the total model; at position 3 nothing is repaired.",
         one(g, {"gal01": r1, "gal02": r2}))
    r = Result()
    for i in (0, 1, 2, 438, 440):
        r.obs[i] = (r.obs[i][0], 0.0 if i % 2 else -0.5, 0.0, 0.0)
    g = Grid()
    g.print_fil = "2"
    case("chain_usable_range_edges",
         "Non-positive fluxes at both ends of the observation move the usable range: ten "
         "points are dropped inside the first and last positive fluxes.",
         one(g, {"gal01": r}))
    r = Result()
    r.obs = [(l, f if 100 <= i <= 120 else 0.0, s, w) for i, (l, f, s, w) in enumerate(r.obs)]
    case("chain_one_usable_point",
         "Only 21 observed points have a positive flux: the cleaned spectrum keeps the one "
         "point between the ten dropped at either end (4700 A), extended by the model below "
         "and above it.",
         one(g, {"gal01": r}))
    r = Result()
    r.obs[200] = (8000.0,) + r.obs[200][1:]
    case("chain_usable_range_tie",
         "The largest observed wavelength twice (points 201 and 441): the first of them ends "
         "the usable range, so the cleaned spectrum stops ten points before point 201; the "
         "raw observation, out of order, fails the model.",
         one(g, {"gal01": r}))
    r = Result()
    r.obs = r.obs[:100]
    two = Grid(["gal01 45.0", "gal02 45.0"])
    two.print_fil = "2"
    case("chain_spectrum_rows_beyond_observation",
         "A galaxy of 100 observed points after one of 441: its spectrum table shows 0 in "
         "columns 3 and 4 from row 101 on, not the points the first galaxy left there.",
         one(two, {"gal01": Result(), "gal02": r}))
    r = Result()
    r.obs[200] = (r.obs[199][0],) + r.obs[200][1:]
    case("chain_repeated_wavelengths_stop",
         "Two observed points at one wavelength stop the run with the two 'not monotonic' "
         "lines, status 1; the second model never starts.",
         one(Grid(["gal01 1.0", "gal01 1.0"]), {"gal01": r}))
    for name, victim, about in [
            ("no_base_file", "base/Base.txt", "A missing base file"),
            ("missing_ssp", "base/ssp_m.txt", "A missing SSP spectrum file"),
            ("missing_sun", "filters/Sun_LR.dat", "A missing standard spectrum (failure A "
             "then B)"),
            ("missing_filter", "filters/BoxBlue.dat", "A missing filter file (failure B)")]:
        case("chain_stop_" + name, about + " stops the run, status 1.",
             one(Grid(["gal01 1.0", "gal02 1.0"]), {"gal01": Result(), "gal02": Result()}),
             'rm %s\n"$VELTRANE" grid.in' % victim)
    r = Result()
    r.lbd_norm = 20000.0
    case("chain_failed_model_sentinels",
         "A model normalised outside the base grid fails on the console only: -999 in "
         "its table, a short log written at its end; the model before it is unaffected.",
         one(Grid(["gal01 10.0", "gal02 10.0"]), {"gal01": Result(), "gal02": r}))
    r = Result()
    r.lbd_norm = 23000.0
    case("chain_old_log_replaced",
         "A log of an earlier run is removed when the model starts: the appended law "
         "report stands alone.", one(results={"gal01": r},
                                     extra={"gal01.LOG": "    an old report of an earlier run\n"}))
    case("chain_table_unwritable",
         "A .MAG.out that is a directory cannot be written: 'Cannot write', status 1, no "
         "temporary file left.", one(extra={"gal01.MAG.out/keep": "x\n"}))
    wide = steps(3000.0, 24000.0, 100.0)
    g = Grid()
    g.base_dir = "wide/"
    case("chain_warnings_only_success",
         "A base reaching 24000 A with the CAL law: every grid point beyond 22000 A "
         "appends a report, yet the model succeeds, so no log is kept.",
         one(g, extra=base_files("wide", [(f, a, m, wide, [planck(l, t) for l in wide])
                                          for f, a, m, t in SSPS])))


def base_cases():
    g = Grid()
    g.verbose = "1"
    case("base_listing",
         "Fverbose 1: the listings of the grid check, the base reader (header, column "
         "header, rows, counts) and the filter set, and the banner.", one(g))
    g = Grid()
    g.base_dir, g.verbose = "nanpt/", "1"
    files = base_files("nanpt", [(f, a, m, BASE_GRID, [planck(l, t) for l in BASE_GRID]) for f, a, m, t in SSPS])
    files["nanpt/ssp_o.txt"] = files["nanpt/ssp_o.txt"].replace("\n5000 ", "\nNaN ", 1)
    case("base_listing_nan_wavelength",
         "Fverbose 1 with a NaN wavelength in the last SSP file: the points at or below "
         "Olsynini and above Olsynfin are found by the reading loop, as the listing shows.",
         one(g, extra=files))
    r = Result()
    r.base_file = "Small.txt"
    r.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "tiny.txt")]
    r.obs = [(l, 1.0, 0.0, 1.0) for l in steps(3600.0, 8000.0, 200.0)]
    r.olsynini, r.olsynfin, r.lbd_norm = 3700.0, 7000.0, 4000.0
    g = Grid()
    g.verbose = "5"
    case("base_point_dump", "Fverbose 5: every point of every SSP spectrum, and nothing else.",
         one(g, {"gal01": r}, base_files("base", [("tiny.txt", 1.0e9, 0.5,
                                                  [3000.0, 4000.0, 5000.0, 8000.0],
                                                  [1.25, 1.0, 0.75, 0.1])], "Small.txt")))
    results = {}
    for k, (ini, fin) in enumerate([(3700.0, 7900.0), (3710.0, 7910.0), (3000.0, 8980.0),
                                    (2990.0, 7900.0), (3700.0, 9000.0)]):
        r = Result()
        r.olsynini, r.olsynfin = ini, fin
        results["gal%02d" % (k + 1)] = r
    g = Grid(["%s 1.0" % n for n in results])
    g.verbose = "1"
    case("base_brackets",
         "Ilowbase and Iuppbase on and between grid points, at the first point; a fit "
         "starting below the grid or ending at its last point fails 'Ilowbase--Iuppbase'.",
         one(g, results))
    r1, r2 = Result(), Result()
    r1.base_file, r2.base_file = "B1.txt", "B2.txt"
    r1.rows = r2.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "x")]
    r1.olsynini, r1.olsynfin = 3500.0, 6000.0
    r2.olsynini, r2.olsynfin = 3700.0, 6800.0
    extra = {"base/B1.txt": "1\n" + base_record("a.txt", 1e9) + "\n",
             "base/B2.txt": "1\n" + base_record("b.txt", 1e9) + "\n",
             "base/a.txt": "3000 1\n8000 1\n3200 1\n",
             "base/b.txt": "3800 1\n3650 1\n7000 1\n6500 1\n"}
    g = Grid(["gal01 1.0", "gal02 1.0"])
    g.verbose = "1"
    case("base_fit_out_of_range",
         "Grids that are not monotonic can pass the bracket test and still miss the fit "
         "range: the 'Fit out of range allowed' report with its two (2(a,e15.3)) lines; "
         "a grid inside the fit range but not increasing gets the listing's coverage warnings, "
         "then the order report.", one(g, {"gal01": r1, "gal02": r2}, extra))
    r1, r2 = Result(), Result()
    r1.base_file, r2.base_file = "Eq.txt", "Back.txt"
    r1.rows = r2.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "x")]
    eq = BASE_GRID[:50] + [BASE_GRID[49]] + BASE_GRID[50:]
    back = BASE_GRID[:50] + [BASE_GRID[48] + 5.0] + BASE_GRID[50:]
    extra = base_files("base", [("eq.txt", 1e9, 0.5, eq, [1.0] * len(eq))], "Eq.txt")
    extra.update(base_files("base", [("back.txt", 1e9, 0.5, back, [1.0] * len(back))], "Back.txt"))
    case("base_order",
         "Equal neighbours in an SSP grid pass the base reader but not the normalisation; "
         "a step back fails the base reader ('not incresing order').",
         one(Grid(["gal01 1.0", "gal02 1.0"]), {"gal01": r1, "gal02": r2}, extra))
    r = Result()
    r.base_file, r.rows = "Big.txt", [(100.0, 100.0, 100.0, 1.0e9, 0.02, "big.txt")]
    r.lbd_norm = 4020.0
    case("base_10000_points",
         "An SSP file of 10,005 points: the 'NOl_base > N_lambda' report, 10,000 points "
         "kept, and the model goes on (and succeeds, so its log goes).",
         one(results={"gal01": r}, extra={"base/Big.txt": "1\n" + base_record("big.txt", 1e9) + "\n"}),
         "awk 'BEGIN { for (i = 0; i < 10005; i++) printf \"%d 1.0\\n\", 2000 + i }' "
         "> base/big.txt\n\"$VELTRANE\" grid.in; s=$?; rm base/big.txt; exit $s")
    results, extra = {}, {}
    for k, mst in enumerate(["1.0", "0.0", "1.5", "NaN"]):
        r = Result()
        r.base_file = "M%d.txt" % k
        results["gal%02d" % (k + 1)] = r
        extra["base/M%d.txt" % k] = "3\n" + "".join(
            base_record(f, a, mst=(mst if f == "ssp_m.txt" else "0.5")) + "\n"
            for f, a, _, _ in SSPS)
    case("base_mass_check",
         "Stellar-mass fractions: 1.0 passes; 0.0, 1.5 and NaN give the 'Stellar Mass' "
         "report (masses all set to 0), which does not fail the model.",
         one(Grid(["%s 1.0" % n for n in results]), results, extra))
    r = Result()
    r.base_file = "Counts.txt"
    ages = ["1e6", "1e7", "1e8", "1e9", "1e10"]
    recs, extra = [], {}
    for k in range(11):
        age = "-5.0" if k == 10 else ages[k % 5]
        met = "-0.1" if k == 10 else ("0.004" if k < 5 else "0.02")
        recs.append("s%d.txt %s %s code 0.5 0.0 0.0" % (k, age, met))
        extra["base/s%d.txt" % k] = ssp_text(BASE_GRID, [planck(l, 4000.0 + 900.0 * k) for l in BASE_GRID])
    extra["base/Counts.txt"] = "11\n" + "\n".join(recs) + "\n"
    g = Grid()
    g.verbose = "1"
    case("base_counts",
         "Eleven SSPs with five distinct ages and two metallicities (one negative of each "
         "not counted): Num_ages 5, Num_mets 2 in the listing.", one(g, {"gal01": r}, extra))
    r1, r2 = Result(), Result()
    r1.base_file, r2.base_file = "Zero.txt", "Empty.txt"
    r2.rows = r2.rows[:2]
    extra = {"base/Zero.txt": "0\n" + base_record("missing.txt", 1e9) + "\n",
             "base/Empty.txt": "",
             "base/NONE": ssp_text(BASE_GRID, [planck(l, 5000.0) for l in BASE_GRID])}
    case("base_zero_and_empty",
         "A base of 0 SSPs reads nothing (an empty grid fails the model); an empty base "
         "file keeps the result's count and its missing records name the SSP file 'NONE'; "
         "the listing (Fverbose 1) shows the counts and brackets of a base that read nothing.",
         one(Grid(["gal01 1.0", "gal02 1.0"]), {"gal01": r1, "gal02": r2}, extra))
    CASES["base_zero_and_empty"][1]["grid.in"] = CASES["base_zero_and_empty"][1]["grid.in"].replace(
        "\n0\ngal01", "\n1\ngal01")
    results, extra = {}, {}
    for k, text in enumerate([None, "two\n", "301\n",
                              "2\n" + base_record("ssp_y.txt", 1e7) + "\nb 1e9 old code 0.5 0.0 0.0\n",
                              None]):
        r = Result()
        if k > 0:
            r.base_file = "E%d.txt" % k
        results["gal%02d" % (k + 1)] = r
        if text is not None:
            extra["base/E%d.txt" % k] = text
    extra["base/E4.txt/keep"] = "x\n"
    case("base_errors",
         "Base files that cannot be taken: a text for the count, 301 SSPs (Whoops), a "
         "text for a real in an SSP record, a directory; each fails only its model. A "
         "failure before the tables are reset leaves the previous model's base in them.",
         one(Grid(["%s 1.0" % n for n in results]), results, extra))
    garbage = [("binary", "\x7fELF\x02\x01\x01 \xff\xfe"), ("nonsense", "3000 1.0\n3700 nonsense\n"),
               ("cut", ssp_text(BASE_GRID, [1.0] * len(BASE_GRID)) + "9100"),
               ("empty", ""), ("onlyhash", "#only\n#a header\n"),
               ("indented", " #one\n" + ssp_text(BASE_GRID, [1.0] * len(BASE_GRID), ())),
               ("latehash", "#one\n3000 1.0\n#two\n" + ssp_text(BASE_GRID[1:], [1.0] * 300, ())),
               ("blankfirst", "\n#one\n" + ssp_text(BASE_GRID, [1.0] * len(BASE_GRID), ())),
               ("crlf", ssp_text(BASE_GRID, [1.0] * len(BASE_GRID)).replace("\n", "\r\n"))]
    results, extra = {}, {}
    for k, (name, text) in enumerate(garbage):
        r = Result()
        r.base_file = name + ".base"
        r.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "x")]
        results["gal%02d" % (k + 1)] = r
        extra["base/%s.base" % name] = "1\n" + base_record(name + ".ssp", 1e9) + "\n"
        extra["base/%s.ssp" % name] = text
    case("base_ssp_garbage",
         "SSP files that are binary, hold a word for a flux, end inside a point (the "
         "point is dropped), are empty or only '#' records, or have '#' outside the "
         "header (not a comment); CR LF line ends read as LF.",
         one(Grid(["%s 1.0" % n for n in results]), results, extra))
    g = Grid(["gal02 1.0"])
    g.print_fil = "2"
    case("base_ssp_word_tables",
         "An SSP file with a word for its second flux: the model fails, and its spectrum table "
         "shows the base grid as read, the second wavelength (3700) included.",
         one(g, {"gal02": results["gal02"]}, {k: v for k, v in extra.items() if "nonsense" in k}))
    # Point records that leave a value unread (the records of the issue that found them), each
    # on a small grid; an end of the file inside the last record stays the end of the file.
    small = steps(3000.0, 9000.0, 500.0)
    body = ["%s %s" % (num(l), num(planck(l, 6000.0))) for l in small]
    damaged = [("slash_first", ["/2817.62 1.98844E-07"] + body),
               ("null_flux", ["2817.62,,"] + body),
               ("slash_inside", body[:2] + ["3/703.91 1.34746E-04"] + body[2:]),
               ("null_lambda", body[:2] + [", 1.25"] + body[2:]),
               ("eof_slash", body + ["9500 /"]),
               ("eof_comma", body + ["9500,", ""])]
    results, extra = {}, {}
    for k, (name, lines) in enumerate(damaged + [damaged[2]]):
        r = Result()
        r.base_file = name + ".base"
        r.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "x")]
        ssps = [name + ".ssp"]
        if name == "null_lambda":  # a good SSP before it: the point would take its wavelength
            r.rows = [(50.0, 50.0, 50.0, 1.0e9, 0.02, "good"), (50.0, 50.0, 50.0, 1.0e9, 0.02, "x")]
            ssps = ["good.ssp"] + ssps
            extra["base/good.ssp"] = ssp_text(small, [planck(l, 5000.0) for l in small])
        results["gal%02d" % (k + 1)] = r
        extra["base/" + name + ".base"] = "%d\n" % len(ssps) + "".join(base_record(f, 1e9) + "\n" for f in ssps)
        extra["base/" + name + ".ssp"] = "\n".join(["# a point record damaged"] + lines)
    g = Grid(["%s 1.0" % n for n in results])
    g.print_fil = "2"
    case("base_ssp_values_unread",
         "SSP point records that leave a value unread ('/2817.62 1.98844E-07', '2817.62,,', "
         "'3/703.91 1.34746E-04', ', 1.25'): one 'arq_file> read problem' report and a failed "
         "galaxy each, what the read stored left in the tables (the wavelength 3 among them); the "
         "last galaxy takes the base of the third again (from the cache). An end of the file "
         "inside the last record ('9500 /', '9500,') drops that point and the galaxy succeeds.",
         one(g, results, extra))
    g1, g2 = Grid(["gal01 1.0"]), Grid(["gal02 1.0"])
    g1.base_dir = "base/ more words"
    g2.base_dir = "base/x"
    r2 = Result()
    r2.base_file = "Base.txt"
    extra = {"base/xBase.txt": "1\n" + base_record("y.txt", 1e9) + "\n",
             "base/xy.txt": ssp_text(BASE_GRID, [planck(l, 6000.0) for l in BASE_GRID])}
    r2.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "y.txt")]
    files = {"g1.in": g1.text(), "g2.in": g2.text(), "gal01": Result().text(),
             "gal02": r2.text()}
    files.update(extra)
    case("base_dir_forms",
         "base_SSP is used up to its first blank, and joined to the base and SSP file "
         "names without a separator.", files, runs('"$VELTRANE" g1.in', '"$VELTRANE" g2.in'))
    r = Result()
    r.base_file = "Dir.txt"
    case("base_ssp_is_directory",
         "An SSP 'file' that is a directory cannot be opened: 'arq_file> does not exist', "
         "the run stops, status 1.",
         one(results={"gal01": r}, extra={"base/Dir.txt": "1\n" + base_record("sub", 1e9) + "\n",
                                          "base/sub/keep": "x\n"}))
    r = Result()
    r.base_file = "Long.txt"
    case("base_long_ssp_name",
         "An SSP file name of 700 characters is cut to 600, and the cut name is reported "
         "as missing.",
         one(results={"gal01": r}, extra={"base/Long.txt": "1\n" + base_record("n" * 700, 1e9) + "\n"}))


def result_cases():
    r = Result()
    r.comments = True
    g = Grid()
    g.print_fil = "2"
    case("result_comments",
         "Comments after every value of a result file change nothing: the tables equal "
         "those of chain_full_tables.", one(g, {"gal01": r}))
    r = Result()
    r.rows = []
    case("result_zero_rows",
         "A population table of no row: 17 records skipped after record 63, N_obs on "
         "record 81; the base's three SSPs then weigh nothing.", one(results={"gal01": r}))
    broken = []
    r = Result()
    r.cut_after = 40
    broken.append(r)
    r = Result()
    r.num_base = 301
    broken.append(r)
    r = Result()
    r.n_obs = 10001
    broken.append(r)
    r = Result()
    r.cut_after = 63 + 3 + 23 + 1 + 100
    broken.append(r)
    r = Result()
    r.replace[41] = "5"
    broken.append(r)
    results = {"gal%02d" % (k + 1): b for k, b in enumerate(broken)}
    case("result_broken",
         "Result files cut in the header or the spectrum, with 301 rows, 10,001 points, "
         "or record 41 without its text: the 'arqKWsynt contains "
         "ERROR' report for each, nothing else.",
         one(Grid(["%s 1.0" % n for n in results]), results))


def filter_cases():
    flat_star = lambda v: (steps(3000.0, 7000.0, 100.0), [v] * 41)
    files = filter_set("flat", [("Box.dat", ([4000.0, 6000.0], [1.0, 1.0]))],
                       vega=flat_star(1.0), sun=flat_star(3.0), bd=flat_star(100.0))
    g = Grid()
    g.fil_dir, g.verbose = "flat/", "1"
    case("filters_hand_values",
         "Flat standards and a two-point box filter: T_l_Area 2000, lamb_eff 5000, "
         "T_n_Area c(1/4000^2 + 1/6000^2) 1000, M_ABVega and T_G_Vega 14.5 (Vega 100 "
         "times fainter than BD+17d4708) in the listing.", one(g, extra=files))
    odd = [("Empty15.dat", filter_text([], [])),
           ("Gappy.dat", "# only three header records\n\n\n" + "".join(
               "%s 0.5\n\n" % num(l) for l in steps(4500.0, 5500.0, 50.0))),
           ("Back.dat", filter_text([4000.0, 4500.0, 4400.0, 5000.0], [1.0, 1.0, 1.0, 1.0])),
           ("FarRed.dat", filter_text(*box(12500.0, 13500.0, 50.0))),
           ("BoxBlue.dat", filter_text(*FILTERS[0][1]))]
    g = Grid()
    g.fil_dir, g.verbose = "odd/", "1"
    case("filters_odd_curves",
         "A filter of exactly 15 records (no sample, skipped), one with a short header and "
         "blank records, one not increasing (integration reports, model fails), one beyond "
         "every standard star (T_G_Vega -999, no magnitudes), one of 10,005 samples "
         "(10,000 kept).",
         one(g, extra=filter_set("odd", odd,
                                 listed="6\nEmpty15.dat\nGappy.dat\nBack.dat\nFarRed.dat\n"
                                        "Long.dat\nBoxBlue.dat\n")),
         "awk 'BEGIN { for (i = 0; i < 15; i++) print \"# header\"; "
         "for (i = 0; i < 10005; i++) printf \"%.1f 1.0\\n\", 3000 + 0.5 * i }' "
         "> odd/Long.dat\n\"$VELTRANE\" grid.in; s=$?; rm odd/Long.dat; exit $s")
    for name, listed, about in [("limit", "300\n" + "BoxBlue.dat\n" * 300,
                                 "A list of 300 filters, the most the tables hold: all measured"),
                                ("zero", "0\n", "A list of 0 filters: a table without rows"),
                                ("negative", "-2\nBoxBlue.dat\n", "A negative filter count "
                                 "reads no filter: a table without rows")]:
        g = Grid()
        g.fil_dir = name + "/"
        case("filters_" + name, about + ".", one(g, extra=filter_set(name, listed=listed)))
    g = Grid()
    g.fil_dir = "filters/ more words"
    case("filters_dir_blank", "Fil__Dir is used up to its first blank.", one(g))
    bad = {"one": dict(vega=([5000.0], [1.0])), "short": dict(listed="3\nBoxBlue.dat\n"),
           "garbage": dict(filters=[("BoxBlue.dat", "# h\n" * 15 + "4000 x\n")]),
           "listtext": dict(listed="three\n"), "over": dict(listed="301\n")}
    files, lines = {}, []
    for k, (name, kw) in enumerate(sorted(bad.items())):
        files.update(filter_set("bad_" + name, **kw))
        g = Grid(["gal%02d 1.0" % (k + 1)])
        g.fil_dir = "bad_%s/" % name
        files["g_%s.in" % name] = g.text()
        files["gal%02d" % (k + 1)] = Result().text()
        lines.append('"$VELTRANE" g_%s.in' % name)
    case("filters_unreadable_stop",
         "A standard of one sample (failure A), a list shorter than its count, a filter "
         "with a word for a transmission, a list whose count is a word or above 300 "
         "(failure B): each stops its run, status 1.", files, runs(*lines))


def cache_cases():
    other = steps(3000.0, 9000.0, 20.0)
    rb = Result()
    rb.base_file = "Other.txt"
    rb.rows = [(70.0, 50.0, 50.0, 1.0e7, 0.02, "ssp_y.txt"), (30.0, 50.0, 50.0, 5.0e9, 0.02, "ssp_x.txt")]
    extra = {"base/Other.txt": "2\n" + base_record("ssp_y.txt", 1e7) + "\n" + base_record("ssp_x.txt", 5e9) + "\n",
             "base/ssp_x.txt": ssp_text(other, [planck(l, 3500.0) for l in other])}
    g = Grid(["gal01 10.0", "gal02 10.0", "gal03 10.0", "gal04 10.0"])
    g.verbose = "1"
    case("cache_bases_alternate",
         "Models alternate between two bases: a base read before is taken from the cache "
         "with the same listing, and the tables are those of a first reading.",
         one(g, {"gal01": Result(), "gal02": rb, "gal03": Result(), "gal04": rb}, extra))
    params = "3\n./\nbase/\nfilters/\n1.0\n1.0E-17\n0\n2\n1\n"
    files = {"params.txt": params, "gal02": Result().text(), "gal03": Result().text(),
             "base2/ssp_m.txt": ssp_text(BASE_GRID, [1.5 * planck(l, 6000.0) for l in BASE_GRID]),
             "filters2/BoxBlue.dat": filter_text(*box(4200.0, 5200.0, 20.0)),
             # not an input: the inputs change while the run goes on (not run with --fixed-inputs)
             "inputs_change": "An SSP file and a filter file are rewritten while the run goes on.\n"}
    cmd = """mkfifo in.fifo
"$VELTRANE" < in.fifo &
pid=$!
exec 3> in.fifo
cat params.txt >&3
echo "gal01 10.0" >&3
for i in $(seq 1500); do [ -f gal01.SPC.out ] && break; sleep 0.02; done
cp base2/ssp_m.txt base/ssp_m.txt
cp filters2/BoxBlue.dat filters/BoxBlue.dat
echo "gal02 10.0" >&3
echo "gal03 10.0" >&3
exec 3>&-
wait $pid
s=$?
rm in.fifo
exit $s
"""
    case("cache_files_rewritten",
         "An SSP file and a filter file are rewritten after the first model of a run fed "
         "through standard input: the next models read them again (their tables differ from "
         "the first model's, and equal each other).", files, cmd)
    # gal02's base (300 SSPs of 600 points, written by cmd) takes long to read; the base file
    # of gal03 to gal07 fails before the tables are reset, so they are computed on gal02's
    # base. With two jobs most of them are first computed on the base gal01 left, while gal02
    # is still being read, and must be computed again.
    big = Result()
    big.base_file = "Big.txt"
    big.rows = [(100.0 / 300, 100.0 / 300, 100.0 / 300, 1.0e7 * (k + 1), 0.02, "big%03d.txt" % (k + 1))
                for k in range(300)]
    broken = Result()
    broken.base_file = "Broken.txt"
    extra = {"base/Big.txt": "300\n" + "".join(base_record("big%03d.txt" % (k + 1), 1.0e7 * (k + 1)) + "\n"
                                                for k in range(300)),
             "base/Broken.txt": "x\n"}
    g = Grid(["gal%02d 10.0" % k for k in range(1, 8)])
    g.print_fil = "2"
    case("cache_failed_base_carried",
         "Galaxies whose base file fails before the tables are reset are computed on the base "
         "of the galaxy before them (a slow one to read), with one job or several.",
         one(g, {"gal01": Result(), "gal02": big, **{"gal%02d" % k: broken for k in range(3, 8)}}, extra),
         "awk 'BEGIN { for (k = 1; k <= 300; k++) { f = sprintf(\"base/big%03d.txt\", k); "
         "for (i = 0; i < 600; i++) printf \"%.1f %.6f\\n\", 3000 + 10 * i, "
         "1 + 0.01 * k + 0.00001 * i > f; close(f) } }'\n"
         '"$VELTRANE" grid.in; s=$?; rm base/big*.txt; exit $s\n')
    dec, broken = Result(), Result()
    dec.base_file, broken.base_file = "Dec.txt", "Broken.txt"
    dec.rows = [(100.0, 100.0, 100.0, 1.0e9, 0.02, "dec.txt")]
    g = Grid(["gal01 10.0", "gal02 10.0", "gal03 10.0"])
    g.print_fil = "2"
    case("cache_failed_after_reset_carried",
         "An SSP file whose wavelengths decrease fails its galaxy after the tables were reset: "
         "the next galaxy, whose base file fails before the reset, is computed on the five "
         "points it left.",
         one(g, {"gal01": Result(), "gal02": dec, "gal03": broken},
             {"base/Dec.txt": "1\n" + base_record("dec.txt", 1e9) + "\n",
              "base/dec.txt": ssp_text([3000.0, 4000.0, 3500.0, 8000.0, 9000.0], [1.0, 0.9, 0.8, 0.7, 0.6]),
              "base/Broken.txt": "x\n"}))
    r1 = Result()
    r1.rows = r1.rows[:2]
    case("chain_rows_of_an_earlier_model",
         "A fit listing fewer rows than its base after one listing them all: the SSP it does "
         "not list weighs nothing (no weight left by the earlier model).",
         one(Grid(["gal01 10.0", "gal02 10.0"]), {"gal01": Result(), "gal02": r1}))


def phyunits_cases():
    case("run_phyunits_not_positive",
         "Phyunits 0 or negative: the warning, and the run goes on with 1.0.", one(),
         runs('"$VELTRANE" gal01 1.0 ./ base/ filters/ 1.0 0.0 0 1 0', "mv gal01.MAG.out zero.MAG.out",
              '"$VELTRANE" gal01 1.0 ./ base/ filters/ 1.0 -1.0E-17 0 1 0'))


def option_cases():
    case("opt_help_version_misuse",
         "--help and -h print the usage text, --version the version (masked here), both with "
         "status 0; an unknown option, a bad -j (1024 is the most) or --shard: a message and "
         "the usage line on standard error, status 2; a wrong argument count adds the usage "
         "line too.", {},
         runs('"$VELTRANE" --help', '"$VELTRANE" -h > /dev/null',
              '"$VELTRANE" --version | sed "s/ [0-9][0-9.]*$/ VERSION/"', '"$VELTRANE" --frobnicate grid.in',
              '"$VELTRANE" -j x grid.in', '"$VELTRANE" -j 1025 grid.in',
              '"$VELTRANE" -j 1024 --quiet grid.in > /dev/null', '"$VELTRANE" --shard 4/3 grid.in',
              '"$VELTRANE" --output-dir= grid.in', '"$VELTRANE" --output-dir', '"$VELTRANE" a b'))
    case("opt_catalog_misuse",
         "--catalog needs a file name and --catalog-spectra needs --catalog (status 2); a file "
         "at the catalogue's name that is not FITS (a grid file named by a slip) is refused "
         "after the parameters, before any galaxy, with status 1 and left as it is, with or "
         "without --skip-existing.",
         one(Grid(["gal01 1.0"]), {"gal01": Result()}),
         runs('"$VELTRANE" --catalog-spectra grid.in', '"$VELTRANE" --catalog', '"$VELTRANE" --catalog= grid.in',
              'cp grid.in copy.in && "$VELTRANE" --catalog copy.in grid.in',
              '"$VELTRANE" --skip-existing --catalog=copy.in grid.in && cmp grid.in copy.in'))
    r = Result()
    r.lbd_norm = 20000.0
    results = {"gal01": Result(), "gal02": r}
    case("opt_strict_quiet",
         "--strict makes the status 3 when a galaxy failed (0 otherwise); --quiet drops the "
         "summary; the failed galaxy is named with its log in the summary. The long forms "
         "'--jobs 2' and '--jobs=2' change nothing of it.",
         one(Grid(["gal01 1.0", "gal02 1.0"]), results, {"ok.in": Grid(["gal01 1.0"]).text()}),
         runs('"$VELTRANE" --strict grid.in > /dev/null', '"$VELTRANE" --strict --quiet ok.in > /dev/null',
              '"$VELTRANE" --quiet grid.in > /dev/null', '"$VELTRANE" --jobs 2 --strict grid.in > /dev/null',
              '"$VELTRANE" --jobs=2 --quiet --strict grid.in > /dev/null'))
    unknown_law = Result()
    unknown_law.law = "XYZ"
    case("opt_progress",
         "--progress draws the progress line on standard error even without a terminal (its "
         "rate and time masked here; the line cleared, shown as '<clear>', before a galaxy's "
         "warning); standard output is the same as without it.",
         one(Grid(["gal01 1.0", "gal02 1.0"]), {"gal01": Result(), "gal02": unknown_law}),
         '"$VELTRANE" --progress grid.in 2> err.txt\ns=$?\n'
         "sed 's/\\x1b\\[K/<clear>/g' err.txt | tr '\\r' '\\n' | grep -v '^$' | uniq | "
         "sed -E 's/[0-9]+\\.[0-9]\\/s/R\\/s/; s/[0-9]+:[0-9]{2} left/T left/' >&2\nrm err.txt\nexit $s")
    r = Result()
    r.law = "XYZ"
    case("warn_law_code",
         "An unknown extinction law code is computed with CCJ, as specified, and named on "
         "standard error with its galaxy.", one(results={"gal01": r}))
    g = Grid(["gal01 1.0"])
    g.path_dir = "."
    case("warn_directory",
         "A path_DIR without its final '/': the names run into it ('.gal01'), as specified, "
         "and standard error says so; so it does for one cut at a blank ('gal dir/' is used "
         "as 'gal': 'galgal01' is missing), and for base_SSP and Fil__Dir without theirs (the "
         "base file 'baseBase.txt' is missing: the run stops).", one(g),
         runs('"$VELTRANE" grid.in', '"$VELTRANE" gal01 1.0 "gal dir/" base/ filters/ 1.0 1.0E-17 0 1 0',
              '"$VELTRANE" gal01 1.0 ./ base filters 1.0 1.0E-17 0 1 0'))
    case("opt_ecsv",
         "--ecsv writes NAME.mag.ecsv and NAME.spc.ecsv beside the tables (PrintFil 2), -999 "
         "as masked empty fields, the specified tables unchanged.",
         one(Grid(["gal01 45.0", "gal02 45.0"]), {"gal01": Result(), "gal02": r}, {"g2.in": Grid().text().replace("\n1\n0\ngal01", "\n2\n0\ngal01")}),
         runs('"$VELTRANE" --ecsv g2.in > /dev/null', '"$VELTRANE" --ecsv grid.in > /dev/null'))
    case("opt_output_dir",
         "--output-dir writes tables and logs to another directory, the fit results' directory "
         "untouched; a directory that does not exist cannot be written.",
         one(Grid(["gal01 1.0", "missing 1.0"])),
         "mkdir out\n" + runs('"$VELTRANE" --output-dir out grid.in', '"$VELTRANE" --output-dir nowhere/ grid.in'))
    five = ["gal%02d 1.0" % k for k in range(1, 6)]
    files = one(Grid(five), {n.split()[0]: Result() for n in five})
    case("opt_skip_existing",
         "--skip-existing after a run cut short: galaxies whose tables exist print nothing and "
         "are counted as skipped; the others are processed.", files,
         '"$VELTRANE" grid.in > /dev/null 2>&1\nrm gal03.MAG.out gal05.MAG.out\n' +
         runs('"$VELTRANE" --skip-existing grid.in'))
    three = Grid(five[:3])
    three.print_fil = "2"
    case("opt_skip_existing_ecsv",
         "--skip-existing with --ecsv: a galaxy is skipped only when its specified tables and "
         "its ECSV tables all exist (a missing .spc.ecsv or .mag.ecsv has it processed again); "
         "without --ecsv the ECSV tables are not looked for.",
         dict(files, **{"grid.in": three.text()}),
         '"$VELTRANE" --ecsv grid.in > /dev/null 2>&1\nrm gal02.spc.ecsv gal03.mag.ecsv\n' +
         runs('"$VELTRANE" --skip-existing --ecsv grid.in', '"$VELTRANE" --skip-existing grid.in'))
    case("opt_shard",
         "Three shards run as parallel processes write, between them, exactly the tables of "
         "one run of the whole grid (each shard's own console shows only its galaxies). The "
         "summary counts the galaxies of the other shards apart from those --skip-existing "
         "skips, and the progress line counts only the shard's own; with --shard 1/1 the "
         "summary says 0 in other shards.",
         files,
         "mkdir whole\ncp -r base filters grid.in gal0* whole/\n"
         "(cd whole && \"$VELTRANE\" --quiet grid.in > /dev/null)\n"
         "for k in 1 2 3; do \"$VELTRANE\" --quiet --shard $k/3 grid.in > shard$k.txt & done\nwait\n"
         "for f in whole/*.MAG.out; do cmp $f $(basename $f) && echo \"same $(basename $f)\"; done\n"
         "grep -h arq_synt shard1.txt shard2.txt shard3.txt\nrm -r whole shard?.txt\nrm gal03.MAG.out\n"
         "\"$VELTRANE\" --skip-existing --progress --shard 2/3 grid.in 2> err.txt\n"
         "tr '\\r' '\\n' < err.txt | sed 's/\\x1b\\[K//g' | grep -v '^$' | tail -n 2 | "
         "sed -E 's/[0-9]+\\.[0-9]\\/s/R\\/s/; s/[0-9]+:[0-9]{2} left/T left/' >&2\nrm err.txt\n"
         "\"$VELTRANE\" --shard 1/1 grid.in > /dev/null")
    case("opt_terminal",
         "On a terminal: with no argument a one-line hint goes to standard error before the "
         "parameters are read, and the progress line is drawn without --progress.",
         {"params0.txt": "0\n./\n./\n./\n1.0\n1.0\n0\n1\n0\n"},
         "timeout 60 script -qec \"$VELTRANE\" /dev/null < params0.txt | tr -d '\\r' | grep -E '^veltrane:|ERROR'\n"
         "timeout 60 script -qec \"$VELTRANE --quiet grid.in\" /dev/null < /dev/null | tr -d '\\r' | "
         "sed 's/\\x1b\\[K/\\n/g' | grep -E -o 'veltrane: [0-9]+/[0-9]+ galaxies' | tail -n 1\n")
    params = "2\n./\nbase/\nfilters/\n1.0\n1.0E-17\n0\n2\n0\n"
    for sig, status in [("TERM", 143), ("INT", 130)]:
        cmd = ("mkfifo in.fifo\nenv --default-signal=INT \"$VELTRANE\" < in.fifo &\npid=$!\n"
               "exec 3> in.fifo\ncat params.txt >&3\necho \"gal01 10.0\" >&3\n"
               "for i in $(seq 1500); do [ -f gal01.SPC.out ] && break; sleep 0.02; done\nsleep 0.2\n"
               "kill -%s $pid\nwait $pid\ns=$?\nexec 3>&-\nrm in.fifo\nexit $s\n" % sig)
        case("signal_" + sig.lower(),
             "SIG%s while the run waits for its next galaxy: the finished galaxy's console and "
             "tables stay, nothing half-written or temporary is left, status %d." % (sig, status),
             {"params.txt": params}, cmd)


def reliability_cases():
    case("dir_log_success",
         "The log path is an empty directory and the galaxy succeeds: the log must be removed, "
         "which a directory cannot be: 'Cannot write', status 1, the directory kept.",
         one(), 'mkdir gal01.LOG\n"$VELTRANE" grid.in\ns=$?\ntest -d gal01.LOG && echo "directory kept"\n'
                'rmdir gal01.LOG\nexit $s')
    r = Result()
    r.replace[26] = "not-a-number"
    case("dir_log_report",
         "The log path is a directory and the galaxy's reader reports: the report cannot be "
         "written: the console up to the report, 'Cannot write', status 1.",
         one(results={"gal01": r}),
         'mkdir gal01.LOG\n"$VELTRANE" grid.in\ns=$?\ntest -d gal01.LOG && echo "directory kept"\n'
         'rmdir gal01.LOG\nexit $s')
    r = Result()
    r.lbd_norm = 20000.0
    case("dir_log_console_failure",
         "The log path is a directory and the galaxy fails on the console only: the removal at "
         "the start skips the directory, the end rule leaves it, status 0.",
         one(results={"gal01": r}),
         'mkdir gal01.LOG\n"$VELTRANE" grid.in\ns=$?\ntest -d gal01.LOG && echo "directory kept"\n'
         'rmdir gal01.LOG\nexit $s')
    prepare = """# Takes the first three temporary names of this shell's process (which then becomes
# veltrane): "." and seven base-36 digits of pid * 1296 + attempt.
tmpname() {
  awk -v n="$(( $$ * 1296 + $1 ))" 'BEGIN { d = "0123456789abcdefghijklmnopqrstuvwxyz"; s = ""
    for (i = 0; i < 7; i++) { s = substr(d, n % 36 + 1, 1) s; n = int(n / 36) }; print "." s }'
}
mkdir "$(tmpname 0)"
echo "a file of another program" > "$(tmpname 1)"
ln -s gal01 "$(tmpname 2)"
"""
    case("write_temporary_names_taken",
         "The first temporary names the run would take are a directory, a file and a link to the "
         "synthesis result: the table is written through the next free name, status 0, and none "
         "of them is touched.", one(extra={"prepare.sh": prepare}),
         "sh -c '. ./prepare.sh; exec \"$VELTRANE\" grid.in'\ns=$?\n"
         "c='[0123456789abcdefghijklmnopqrstuvwxyz]'; taken=.$c$c$c$c$c$c$c\n"
         "for f in $taken; do if [ -L $f ]; then echo \"link to $(readlink $f)\"; "
         "elif [ -d $f ]; then echo directory; else echo \"file: $(cat $f)\"; fi; done | sort\n"
         "rm -r $taken\nexit $s")
    g = Grid()
    g.print_fil = "2"
    case("write_file_size_limit",
         "A file-size limit (SIGXFSZ ignored) stops the spectrum table half-way: 'Cannot "
         "write', status 1, no temporary file, and the table of an earlier run untouched.",
         one(g, extra={"gal01.SPC.out": "    a table of an earlier run\n"}),
         '( ulimit -f 2; trap "" XFSZ; exec "$VELTRANE" --quiet grid.in > run.txt )\ns=$?\n'
         'cat run.txt\nrm run.txt\nexit $s')
    case("chain_inputs_changed_by_earlier_commits",
         "The result files of the second and third galaxies are the first galaxy's old log and "
         "table, both readable results before the run: the first galaxy removes the one and "
         "replaces the other, so the second does not exist and the third is a magnitude table "
         "('arqKWsynt contains ERROR'); the fourth reads the log the second leaves, which did "
         "not exist before the run; all the same whether the galaxies are processed one by one "
         "or at once.",
         one(Grid(["gal01 10.0", "gal01.LOG 10.0", "gal01.MAG.out 10.0", "gal01.LOG.LOG 10.0"]),
             {"gal01": Result(), "gal01.LOG": Result(), "gal01.MAG.out": Result()}))
    g = Grid(["gal%02d 10.0" % k for k in range(1, 9)])
    g.print_fil = "2"
    case("write_stop_among_later_tables",
         "Eight galaxies; the spectrum table of the fourth is a directory: its magnitude table is "
         "written, then 'Cannot write', status 1. Nothing of the galaxies after it is written "
         "(with several jobs their tables may already have been written ahead: none is left, "
         "temporary or final) and a table of an earlier run stays untouched.",
         one(g, {"gal%02d" % k: Result() for k in range(1, 9)},
             {"gal04.SPC.out/keep": "x\n", "gal06.MAG.out": "    a table of an earlier run\n"}))
    r = Result()
    rows = r.rows
    r2 = Result()
    text = r2.text().replace("  1 ", "  CAL/x ", 1)
    case("result_row_cut_by_slash",
         "A population row cut short by a slash after a galaxy of full rows: the row weighs "
         "nothing (its weights are reset at every galaxy), as if the earlier galaxy never ran.",
         one(Grid(["gal01 10.0", "gal02 10.0"]), {"gal01": Result(), "gal02": text}))
    r = Result()
    r.replace[10] = "-1073741830"
    case("result_huge_negative_count",
         "A population count of -1073741830: no row, no record skipped (2N + 17 < 0, computed "
         "without overflow), and the file reads on.", one(results={"gal01": r}))


def main():
    reliability_cases()
    option_cases()
    cache_cases()
    phyunits_cases()
    driver_cases()
    chain_cases()
    base_cases()
    result_cases()
    filter_cases()
    shared = {}
    shared.update(standard_base())
    shared.update(filter_set())
    shared.update(SHARED_DEFAULTS)
    targets = {"_shared": (None, shared, None)}
    targets.update(CASES)
    os.makedirs(OUT, exist_ok=True)
    for name in sorted(os.listdir(OUT)):
        path = os.path.join(OUT, name)
        if os.path.isdir(path) and name not in targets:
            shutil.rmtree(path)
    for name, (about, files, cmd) in targets.items():
        path = os.path.join(OUT, name)
        os.makedirs(path, exist_ok=True)
        for entry in os.listdir(path):
            if entry != "expected":
                p = os.path.join(path, entry)
                shutil.rmtree(p) if os.path.isdir(p) else os.remove(p)
        if about:
            files = dict(files)
            files["about"] = about + "\n"
        if cmd:
            files["cmd"] = cmd if cmd.endswith("\n") else cmd + "\n"
        for rel, text in files.items():
            p = os.path.join(path, rel)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(text.encode("latin-1") if isinstance(text, str) else text)
    print("%d cases written to %s" % (len(CASES), os.path.relpath(OUT)))


if __name__ == "__main__":
    sys.exit(main())
