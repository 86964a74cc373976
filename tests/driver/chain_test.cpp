// The whole job as a process: rebuilt spectra, the young/old split, the two scalings, the
// cleaned and extended observed spectrum, the run-ending stops and the output tables. The
// expected values are computed here independently, never copied from the program's output.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "scene.h"
#include "test_util.h"

namespace {

using vtest::mask_dates;
using vtest::run_veltrane;
using vtest::Scene;

using Table = std::vector<std::vector<double>>;

// ".SPC.out": nine numbers per line.
Table read_spc(const std::string& path) {
  Table t;
  std::istringstream in(vtest::read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    std::vector<double> row;
    std::string tok;
    while (l >> tok) row.push_back(std::strtod(tok.c_str(), nullptr));
    t.push_back(row);
  }
  return t;
}

struct MagRow {
  std::string name;
  std::vector<double> v;  // the 19 numbers after the name
  std::size_t length = 0;
};

// ".MAG.out": four blanks, a10, then fixed-width fields.
std::vector<MagRow> read_mag(const std::string& path) {
  static const int widths[] = {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 10, 15, 15, 15, 15, 15, 15};
  std::vector<MagRow> rows;
  std::istringstream in(vtest::read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    MagRow r;
    r.length = line.size();
    r.name = line.substr(4, 10);
    std::size_t pos = 14;
    for (int w : widths) {
      r.v.push_back(std::strtod(line.substr(pos, static_cast<std::size_t>(w)).c_str(), nullptr));
      pos += static_cast<std::size_t>(w);
    }
    rows.push_back(r);
  }
  return rows;
}

// Column indices into MagRow::v.
enum { kResB, kResA, kLambdaEff, kZp, kObs, kTot, kYou, kOld, kDiffTot, kDiffYou, kDiffOld,
       kTotMinusOld, kFlag, kTotal3, kTotal2, kYoung3, kYoung2, kOld3, kOld2 };

vtest::RunResult run_scene(Scene& s) {
  const std::string grid = s.write();
  return run_veltrane(s.dir.str(), {grid});
}

TEST(Chain, VegaShapedModelHasZeroMagnitudeInSystem1) {
  Scene s;
  // One SSP whose spectrum is the Vega spectrum, normalised back to Vega's own level.
  s.ssps.resize(1);
  s.ssps[0].lambda = s.filters.vega_l;
  s.ssps[0].flux = s.filters.vega_f;
  const auto& l = s.filters.vega_l;
  const std::size_t at = static_cast<std::size_t>(std::find(l.begin(), l.end(), 4020.0f) - l.begin());
  s.synth.flx_norm = s.filters.vega_f[at];
  s.synth.rows = {vtest::PopRow{100.0f, 100.0f, 100.0f, 1.0e9f, 0.02f, 0.0f, "ssp1.txt"}};
  s.grid.print_fil = "2";
  const auto r = run_scene(s);
  ASSERT_EQ(r.status, 0) << r.out;
  const auto mag = read_mag(s.file("gal01.MAG.out"));
  ASSERT_EQ(mag.size(), 2u);
  for (const MagRow& row : mag) {
    EXPECT_NEAR(row.v[kTot], 0.0, 1e-4) << row.name;
    EXPECT_EQ(row.length, 294u);
  }
  EXPECT_EQ(mag[1].name, "BoxRedFilt");
  EXPECT_FALSE(vtest::exists(s.file("gal01.LOG")));
}

TEST(Chain, YoungPlusOldIsTheTotalModel) {
  Scene s;
  s.grid.print_fil = "2";
  ASSERT_EQ(run_scene(s).status, 0);
  const Table t = read_spc(s.file("gal01.SPC.out"));
  ASSERT_EQ(t.size(), 601u);
  for (const auto& row : t) {
    ASSERT_EQ(row.size(), 9u);
    EXPECT_NEAR(row[6] + row[7], row[5], 1e-6 * std::fabs(row[5]));
    EXPECT_GT(row[6], 0.0);
    EXPECT_GT(row[7], 0.0);
  }
}

TEST(Chain, AgeCutAboveOrBelowEveryAge) {
  for (const char* cut : {"100.0", "0.0"}) {
    SCOPED_TRACE(cut);
    Scene s;
    s.grid.print_fil = "2";
    s.grid.t_cut = cut;
    ASSERT_EQ(run_scene(s).status, 0);
    const bool all_young = std::string(cut) == "100.0";
    for (const auto& row : read_spc(s.file("gal01.SPC.out"))) {
      EXPECT_EQ(row[all_young ? 7 : 6], 0.0);
      EXPECT_EQ(row[all_young ? 6 : 7], row[5]);
    }
    const MagRow row = read_mag(s.file("gal01.MAG.out"))[0];
    EXPECT_EQ(row.v[all_young ? kOld3 : kYoung3], -999.0);
    EXPECT_EQ(row.v[all_young ? kOld2 : kYoung2], -999.0);
    EXPECT_EQ(row.v[all_young ? kOld : kYou], -999.0);
    EXPECT_NEAR(row.v[all_young ? kYoung3 : kOld3], row.v[kTotal3], 1e-4);
  }
}

TEST(Chain, OldSspsWithoutMassCountAsYoung) {
  Scene s;
  s.grid.print_fil = "2";
  s.synth.rows[1].m3 = 0.0f;  // the old SSP carries light and m2 but no m3
  ASSERT_EQ(run_scene(s).status, 0);
  for (const auto& row : read_spc(s.file("gal01.SPC.out"))) {
    EXPECT_EQ(row[6], row[5]);
    EXPECT_EQ(row[7], 0.0);
  }
}

TEST(Chain, KnownMassesForKnownTotalsDistanceAndUnits) {
  Scene s;
  s.synth.mass_tot_2 = 2.0e9f;
  s.synth.mass_tot_3 = 5.0e8f;
  s.grid.phyunits = "1.0E-17";
  s.grid.models = {"gal01 20.0"};
  ASSERT_EQ(run_scene(s).status, 0);
  const MagRow row = read_mag(s.file("gal01.MAG.out"))[0];
  // log10 M − log10 L_sun[erg/s] + log10 Phyunits + log10(4π d²) with d in cm, using the
  // tool's documented constants; the table shows five digits (steps of 1e-3 near 10).
  const double dist = std::log10(20.0 * 20.0 * 12.566371) + 48.97879;
  const double base = -33.582745 + std::log10(1.0e-17) + dist;
  const double tol = 6e-4;
  EXPECT_NEAR(row.v[kTotal3], std::log10(5.0e8) + base, tol);
  EXPECT_NEAR(row.v[kTotal2], std::log10(2.0e9) + base, tol);
  // Young: 10 per cent of each total; old: 90 per cent.
  EXPECT_NEAR(row.v[kYoung3], std::log10(5.0e7) + base, tol);
  EXPECT_NEAR(row.v[kYoung2], std::log10(2.0e8) + base, tol);
  EXPECT_NEAR(row.v[kOld3], std::log10(4.5e8) + base, tol);
  EXPECT_NEAR(row.v[kOld2], std::log10(1.8e9) + base, tol);
  // And the physics behind the constants: L_sun = 3.828e33 erg/s, 1 Mpc = 3.0857e24 cm.
  const double physical = std::log10(5.0e8 * 1.0e-17 / 3.828e33 * 4.0 * M_PI * std::pow(20.0 * 3.0856775814913673e24, 2.0));
  EXPECT_NEAR(row.v[kTotal3], physical, 1e-3);
}

TEST(Chain, DistanceZeroWarnsOncePerModelAndDropsTheTerm) {
  Scene s;
  s.grid.models = {"gal01 0.0", "gal01 -1.0"};
  s.grid.n_models = 2;
  const auto r = run_scene(s);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(vtest::count(r.out, "    ... VT__WARN: No distance computed\n"), 2);
  const MagRow row = read_mag(s.file("gal01.MAG.out"))[0];
  EXPECT_NEAR(row.v[kTotal3], 9.0 - 33.582745, 6e-4);
}

TEST(Chain, PrintLevelsChooseTheTables) {
  for (int level : {0, 1, 2}) {
    SCOPED_TRACE(level);
    Scene s;
    s.grid.print_fil = std::to_string(level);
    s.grid.models = {"gal01 0.0"};
    const auto r = run_scene(s);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(vtest::exists(s.file("gal01.MAG.out")), level >= 1);
    EXPECT_EQ(vtest::exists(s.file("gal01.SPC.out")), level >= 2);
    EXPECT_EQ(r.out.find("No distance computed") != std::string::npos, level >= 1);
    EXPECT_FALSE(vtest::exists(s.file("gal01.MAG.out.tmp")));
  }
}

TEST(Chain, ExtinctionCorrectionWithNegativeExtinctionLeavesTheObservation) {
  Scene s;
  s.grid.print_fil = "2";
  s.grid.ext_corr = "1";
  s.synth.A_V = -0.3f;
  s.synth.flx_norm = 2.0f;
  ASSERT_EQ(run_scene(s).status, 0);
  const Table t = read_spc(s.file("gal01.SPC.out"));
  for (std::size_t i = 0; i < s.synth.obs.size() && i < t.size(); ++i)
    EXPECT_EQ(t[i][3], 2.0) << i;  // 1.0 × flx_norm × Phyunits
}

TEST(Chain, ZeroExtinctionGivesTheSameTablesInBothCases) {
  std::string tables[2];
  for (int corr : {0, 1}) {
    Scene s;
    s.grid.print_fil = "2";
    s.grid.ext_corr = std::to_string(corr);
    s.synth.A_V = 0.0f;
    ASSERT_EQ(run_scene(s).status, 0);
    tables[corr] = vtest::read_file(s.file("gal01.MAG.out")) + vtest::read_file(s.file("gal01.SPC.out"));
  }
  EXPECT_EQ(tables[0], tables[1]);
}

TEST(Chain, ReddenedModelFollowsTheLaw) {
  // Without correction the model is multiplied by 10^(A_V × red_term): check it against the
  // unreddened model at one wavelength, with red_term read from the table.
  Table plain, red;
  for (float av : {0.0f, 0.5f}) {
    Scene s;
    s.grid.print_fil = "2";
    s.synth.A_V = av;
    ASSERT_EQ(run_scene(s).status, 0);
    (av == 0.0f ? plain : red) = read_spc(s.file("gal01.SPC.out"));
  }
  for (std::size_t i = 0; i < plain.size(); i += 50)
    EXPECT_NEAR(red[i][5], plain[i][5] * std::pow(10.0, 0.5 * red[i][8]), 1e-5 * plain[i][5]);
}

// Observed points on the base grid (every 10 Å from 3600 Å): index k of the trimmed spectrum
// is observed point k + 10.
void repair_scene(Scene& s, int bad_trimmed_position) {
  s.grid.print_fil = "2";
  s.synth.obs.clear();
  for (float v = 3600.0f; v <= 8000.0f; v += 10.0f) s.synth.obs.push_back({v, 1.0f, 0.0f, 0.0f});
  s.synth.obs[static_cast<std::size_t>(bad_trimmed_position + 9)][1] = -1.0f;
}

TEST(Chain, GapRepairReplacesElevenPointsButNotNearTheEnds) {
  {
    Scene s;
    repair_scene(s, 10);
    ASSERT_EQ(run_scene(s).status, 0);
    const Table t = read_spc(s.file("gal01.SPC.out"));
    // Trimmed position k is at 3690 + 10k Å, which is base row 69 + k of the sorted extended
    // spectrum and of the base grid (3000 Å every 10 Å). Positions 5..15 take the total model.
    for (std::size_t k = 1; k <= 20; ++k) {
      const std::size_t row = 69 + k;
      ASSERT_DOUBLE_EQ(t[row][0], 3690.0 + 10.0 * static_cast<double>(k));
      ASSERT_DOUBLE_EQ(t[row][4], t[row][0]);
      if (k >= 5 && k <= 15) EXPECT_EQ(t[row][1], t[row][5]) << k;
      else EXPECT_EQ(t[row][1], 1.0) << k;
    }
  }
  {
    Scene s;
    repair_scene(s, 3);
    ASSERT_EQ(run_scene(s).status, 0);
    const Table t = read_spc(s.file("gal01.SPC.out"));
    EXPECT_EQ(t[72][1], -1.0);  // trimmed position 3
    EXPECT_EQ(t[73][1], 1.0);
  }
}

TEST(Chain, ExtendedSpectrumTakesBasePointsOutsideTheObservedRange) {
  Scene s;
  repair_scene(s, 100);
  s.synth.obs[100 + 9][1] = 1.0f;
  ASSERT_EQ(run_scene(s).status, 0);
  const Table t = read_spc(s.file("gal01.SPC.out"));
  // Trimmed range 3700 .. 7900 Å (ten points dropped at each end); base 3000..9000 every 10 Å.
  // Sorted: 70 base points below, 421 observed, 110 base points above: 601 rows, the whole grid.
  ASSERT_EQ(t.size(), 601u);
  for (std::size_t i = 0; i < t.size(); ++i) {
    EXPECT_DOUBLE_EQ(t[i][0], 3000.0 + 10.0 * static_cast<double>(i));
    const bool observed = t[i][0] >= 3700.0 && t[i][0] <= 7900.0;
    if (!observed) EXPECT_EQ(t[i][1], t[i][5]) << i;
    else EXPECT_EQ(t[i][1], 1.0) << i;
  }
  // 7900 Å is both the last observed point and a base point: it appears once.
}

TEST(Chain, RepeatedObservedWavelengthsStopTheRun) {
  Scene s;
  repair_scene(s, 100);
  s.synth.obs[100 + 9][1] = 1.0f;
  s.synth.obs[200][0] = s.synth.obs[199][0];
  s.grid.models = {"gal01 1.0", "gal01 1.0"};
  s.grid.n_models = 2;
  const auto r = run_scene(s);
  EXPECT_EQ(r.status, 1);
  const std::string stop = "    ... Lambda is not monotonic!\n    ... Aqui a coisa foi pro beleléu!\n";
  ASSERT_GE(r.out.size(), stop.size());
  EXPECT_EQ(r.out.substr(r.out.size() - stop.size()), stop);
  EXPECT_EQ(r.out.find("arq_synt"), r.out.rfind("arq_synt"));  // the second model never starts
}

TEST(Chain, ReaderAndFilterSetStopsEndTheRunWithStatus1) {
  {
    Scene s;
    s.synth.base_file = "nobase.txt";
    s.write();
    std::filesystem::remove(s.file("nobase.txt"));
    const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
                         "    [Read_BASpec] arq_base> does not exist\n"
                         "    [Read_BASpec] arq_base> " + s.file("nobase.txt") + "\n"),
              std::string::npos);
  }
  {
    Scene s;
    s.write();
    std::filesystem::remove(s.file("ssp2.txt"));
    const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
    EXPECT_EQ(r.status, 1);
    const std::string tail = "    [ReadTextBAS] arq_file> does not exist\n"
                             "    [ReadTextBAS] arq_file> " + s.file("ssp2.txt") + "\n";
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  }
  const std::string sep = "    " + std::string(65, '?') + "\n";
  {
    Scene s;
    s.write();
    std::filesystem::remove(s.file("filters/Sun_LR.dat"));
    const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
    EXPECT_EQ(r.status, 1);
    const std::string tail = sep + "    [ReadFilters] WARNING! NO SPECTRUM READ @@@@@@@\n" + sep + sep +
                             "    [ReadFilters] WARNING! PROBLEM - Filters List @\n" + sep;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  }
  {
    Scene s;
    s.write();
    std::filesystem::remove(s.file("filters/BoxBlue.dat"));
    const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
    EXPECT_EQ(r.status, 1);
    const std::string tail = sep + "    [ReadFilters] WARNING! PROBLEM - Filters List @\n" + sep;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  }
}

TEST(Chain, FailedModelShowsSentinelsAndKeepsALog) {
  Scene s;
  s.grid.models = {"gal01 10.0", "gal02 10.0"};
  s.grid.n_models = 2;
  s.write();
  // gal02 normalises outside the base grid: every SSP normalisation fails on the console only.
  vtest::SynthFile bad = s.synth;
  bad.lbd_norm = 20000.0f;
  vtest::write_file(s.file("gal02"), bad.text());
  const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
                       "    [StatsReNorm] λ is out of range @@@@@@\n"),
            std::string::npos);
  const auto good = read_mag(s.file("gal01.MAG.out"));
  const auto failed = read_mag(s.file("gal02.MAG.out"));
  ASSERT_EQ(failed.size(), good.size());
  for (const MagRow& row : failed) {
    EXPECT_EQ(row.length, 294u);
    for (int c : {kResB, kResA, kObs, kTot, kYou, kOld, kDiffTot, kDiffYou, kDiffOld})
      EXPECT_EQ(row.v[static_cast<std::size_t>(c)], -999.0) << c;
  }
  EXPECT_NE(good[0].v[kObs], -999.0);
  EXPECT_FALSE(vtest::exists(s.file("gal01.LOG")));
  EXPECT_EQ(mask_dates(vtest::read_file(s.file("gal02.LOG"))),
            "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
            "    [Veltrane] IsKeepOn === 0 @@@@@@@@@@@@\n"
            "    [Veltrane] Problem reported on console\n"
            "    VESK - <DATE>\n");
}

TEST(Chain, ALogFromAnEarlierRunIsReplaced) {
  Scene s;
  // Normalised beyond the base grid (console reports) and beyond the law (one appended report).
  s.synth.lbd_norm = 23000.0f;
  s.synth.law = "CAL";
  s.write();
  vtest::write_file(s.file("gal01.LOG"), "    an old report of an earlier run\n");
  ASSERT_EQ(run_veltrane(s.dir.str(), {s.file("grid.in")}).status, 0);
  EXPECT_EQ(mask_dates(vtest::read_file(s.file("gal01.LOG"))),
            "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
            "    [EvalRedTerm] FUNCTION --- CALR_LawOPT\n"
            "    [EvalRedTerm] l < 1200 Å & l > 22000 Å\n"
            "    [EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@\n"
            "    VESK - <DATE>\n");
}

TEST(Chain, TableThatCannotBeWrittenStopsTheRun) {
  Scene s;
  s.write();
  std::filesystem::create_directory(s.file("gal01.MAG.out"));
  vtest::write_file(s.file("gal01.MAG.out/keep"), "x");
  const auto r = run_veltrane(s.dir.str(), {s.file("grid.in")});
  EXPECT_EQ(r.status, 1);
  const std::string tail = "    ... ERROR -> Cannot write " + s.file("gal01.MAG.out") + "\n";
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_FALSE(vtest::exists(s.file("gal01.MAG.out.tmp")));
}

}  // namespace
