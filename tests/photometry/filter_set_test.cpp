// ReadFilters on filter directories generated in a temporary directory. Expected values are
// worked out by hand (trapezoids of flat curves) or in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "numerics/common.h"
#include "photometry/filter_set.h"
#include "photometry_fixtures.h"

namespace veltrane {
namespace {

using ptest::Curve;
using ptest::lines;

const std::string kSep(65, '?');
const std::string kSepLine = "    " + kSep;
const std::vector<std::string> kFailureB = {
    kSepLine, "    [ReadFilters] WARNING! PROBLEM - Filters List @", kSepLine};
const std::vector<std::string> kFailureA = {
    kSepLine, "    [ReadFilters] WARNING! NO SPECTRUM READ @@@@@@@", kSepLine,
    kSepLine, "    [ReadFilters] WARNING! PROBLEM - Filters List @", kSepLine};

Curve flat(float a, float b, float step, float value) {
  Curve c;
  for (float x = a; x <= b; x += step) {
    c.l.push_back(x);
    c.f.push_back(value);
  }
  return c;
}

const Curve kBox = {{4000.0f, 6000.0f}, {1.0f, 1.0f}};

// One FilterSet is 24 MB: share one per test binary, as the driver does per run.
FilterSet& shared_set() {
  static auto set = std::make_unique<FilterSet>();
  return *set;
}

struct Loaded {
  int keep = 1;
  int stop_status = -1;  // RunStop status, -1 when the call returned
  std::string out;
};

Loaded load(FilterSet& set, const std::string& dir, int verbose = 0, int keep = 1) {
  Loaded r;
  r.keep = keep;
  Console console = Console::capture();
  try {
    ReadFilters(console, set, dir, 2, r.keep, verbose);
  } catch (const RunStop& stop) {
    r.stop_status = stop.status();
  }
  r.out = console.captured();
  return r;
}

class ReadFiltersTest : public ::testing::Test {
 protected:
  vtest::TempDir tmp;
  std::string dir = tmp.str() + "/filters";
  Curve vega = flat(3000.0f, 7000.0f, 100.0f, 1.0f);
  Curve sun = flat(2000.0f, 9000.0f, 100.0f, 3.0f);
  Curve bd = flat(3000.0f, 7000.0f, 100.0f, 100.0f);
  std::string make(const std::vector<std::pair<std::string, Curve>>& filters) {
    return ptest::write_filter_dir(dir, vega, sun, bd, filters);
  }
};

TEST_F(ReadFiltersTest, CalibratesABoxFilterWithItsListing) {
  FilterSet& set = shared_set();
  const Loaded r = load(set, make({{"Box.dat", kBox}}), 1);
  ASSERT_EQ(r.stop_status, -1) << r.out;
  EXPECT_EQ(r.keep, 1);
  EXPECT_EQ(set.Nfilters, 1);
  EXPECT_EQ(set.name_fil[0], "Box.dat");
  EXPECT_EQ(set.Npt_fil[0], 2);
  EXPECT_EQ(set.T_l_Area[0], 2000.0f);
  EXPECT_EQ(set.F_l_Vega[0], 2000.0f);
  EXPECT_EQ(set.lamb_eff[0], 5000.0f);
  // c·∫dλ/λ² by one trapezoid, c = 2.99792458e18 Å/s.
  const double tn = 0.5 * (1.0 / (4000.0 * 4000.0) + 1.0 / (6000.0 * 6000.0)) * 2000.0 * 2.99792458e18;
  EXPECT_NEAR(set.T_n_Area[0], tn, tn * 1e-6);
  EXPECT_NEAR(set.M_ABVega[0], -2.5 * std::log10(2000.0 / tn) - 48.6, 1e-5);
  EXPECT_NEAR(set.T_G_Vega[0], 14.5f, 1e-5);  // Vega 100 times fainter than BD+17d4708 (9.5)
  EXPECT_EQ(set.name_fil[1], "NONE");
  EXPECT_EQ(set.T_l_Area[1], -999.0f);
  EXPECT_EQ(set.t_lambda[2], -999.0f);  // beyond the filter's samples

  EXPECT_EQ(r.out,
            "    [ReadFilters]\n"
            "    ... Nfilters: 1\n"
            "    ... axfilter: Box.dat\n"
            "    ... T_l_Area: 2000.00000\n"
            "    ... T_n_Area: 0.27065E+15\n"
            "    ... M_ABVega: -20.77157\n"
            "    ... T_G_Vega: 14.50000\n"
            "    ... lamb_eff: 5000.00000\n"
            "    [ReadFilters]\n");
}

TEST_F(ReadFiltersTest, ZeroFiltersResetsAnEarlierSet) {
  FilterSet& set = shared_set();
  ASSERT_EQ(load(set, make({{"Box.dat", kBox}, {"Box2.dat", kBox}})).stop_status, -1);
  ASSERT_EQ(set.Nfilters, 2);
  const Loaded r = load(set, make({}));
  ASSERT_EQ(r.stop_status, -1);
  EXPECT_EQ(r.keep, 1);
  EXPECT_EQ(set.Nfilters, 0);
  for (int i = 0; i < kMaxFilters; ++i) {
    ASSERT_EQ(set.name_fil[std::size_t(i)], "NONE");
    for (auto* a : {&set.T_l_Area, &set.T_n_Area, &set.M_ABVega, &set.T_G_Vega, &set.F_l_Vega,
                    &set.lamb_eff}) {
      ASSERT_EQ((*a)[std::size_t(i)], -999.0f);
    }
  }
  EXPECT_EQ(set.t_lambda[0], -999.0f);
  EXPECT_EQ(set.t_fluxes[std::size_t(kMaxPoints) + 1], -999.0f);
  EXPECT_EQ(set.Npt_fil[0], 2);  // not reset
}

TEST_F(ReadFiltersTest, ReturnsAtOnceWhenTheModelHasFailed) {
  FilterSet& set = shared_set();
  set.Nfilters = 17;
  const Loaded r = load(set, tmp.str() + "/no-such-dir/", 1, 0);
  EXPECT_EQ(r.stop_status, -1);
  EXPECT_EQ(r.keep, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(set.Nfilters, 17);
}

TEST_F(ReadFiltersTest, FilterOfFifteenRecordsHasNoSamplesAndIsSkipped) {
  FilterSet& set = shared_set();
  make({{"Box.dat", kBox}, {"Empty.dat", Curve{}}});
  const Loaded r = load(set, dir + "/", 1);
  ASSERT_EQ(r.stop_status, -1) << r.out;
  EXPECT_EQ(r.keep, 1);
  EXPECT_EQ(set.Nfilters, 2);
  EXPECT_EQ(set.Npt_fil[1], 0);
  EXPECT_EQ(set.T_l_Area[1], -999.0f);
  EXPECT_EQ(set.M_ABVega[1], -999.0f);
  EXPECT_EQ(set.lamb_eff[1], -999.0f);
  const auto out = lines(r.out);
  ASSERT_EQ(out.size(), 9u);  // header, one block of six, closing tag
  EXPECT_EQ(out[1], "    ... Nfilters: 2");
  EXPECT_EQ(out[2], "    ... axfilter: Box.dat");
  EXPECT_EQ(out[8], "    [ReadFilters]");
}

TEST_F(ReadFiltersTest, ShortHeaderOrBlankRecordsBetweenSamples) {
  FilterSet& set = shared_set();
  make({{"Box.dat", kBox}});
  vtest::write_file(dir + "/Short.dat", "# only\n# three\n# records\n");
  std::string gaps;
  for (int k = 0; k < 15; ++k) gaps += "#\n";
  gaps += "4000 1\n\n   \n5000, 1\n6000 1 extra words\n";
  vtest::write_file(dir + "/Gaps.dat", gaps);
  vtest::write_file(dir + "/ListFilters.txt", "2\nShort.dat\nGaps.dat\n");
  const Loaded r = load(set, dir + "/");
  ASSERT_EQ(r.stop_status, -1) << r.out;
  EXPECT_EQ(set.Npt_fil[0], 0);
  EXPECT_EQ(set.Npt_fil[1], 3);
  EXPECT_EQ(set.t_lambda[std::size_t(kMaxPoints) + 1], 5000.0f);
  EXPECT_EQ(set.T_l_Area[1], 2000.0f);
}

TEST_F(ReadFiltersTest, TenThousandFiveSamplesReadAsTenThousand) {
  FilterSet& set = shared_set();
  Curve big;
  for (int k = 0; k < 10005; ++k) {
    big.l.push_back(3000.0f + 0.25f * float(k));
    big.f.push_back(1.0f);
  }
  vega = flat(2000.0f, 6000.0f, 50.0f, 1.0f);
  bd = vega;
  const Loaded r = load(set, make({{"Big.dat", big}}));
  ASSERT_EQ(r.stop_status, -1) << r.out;
  EXPECT_EQ(set.Npt_fil[0], 10000);
  EXPECT_EQ(set.t_lambda[9999], 3000.0f + 0.25f * 9999.0f);
  EXPECT_EQ(set.T_l_Area[0], 0.25f * 9999.0f);
  EXPECT_EQ(set.t_lambda[10000], -999.0f);  // column of filter 2
}

TEST_F(ReadFiltersTest, DirectoryIsUsedUpToItsFirstBlank) {
  FilterSet& set = shared_set();
  const std::string d = make({{"Box.dat", kBox}});
  const Loaded r = load(set, d + " second-word/");
  ASSERT_EQ(r.stop_status, -1) << r.out;
  EXPECT_EQ(set.Nfilters, 1);
}

TEST_F(ReadFiltersTest, MissingSunStopsTheRunAfterSixLines) {
  FilterSet& set = shared_set();
  make({{"Box.dat", kBox}});
  std::filesystem::remove(dir + "/Sun_LR.dat");
  const Loaded r = load(set, dir + "/", 1);
  EXPECT_EQ(r.stop_status, 1);
  EXPECT_EQ(r.keep, 0);
  EXPECT_EQ(lines(r.out), kFailureA);
}

TEST_F(ReadFiltersTest, MissingFilterFileStopsTheRunAfterThreeLines) {
  FilterSet& set = shared_set();
  make({{"Box.dat", kBox}, {"Gone.dat", kBox}, {"Box3.dat", kBox}});
  std::filesystem::remove(dir + "/Gone.dat");
  const Loaded r = load(set, dir + "/");
  EXPECT_EQ(r.stop_status, 1);
  EXPECT_EQ(r.keep, 0);
  EXPECT_EQ(lines(r.out), kFailureB);
}

// Every broken directory stops the run with the failure's lines and status 1.
TEST_F(ReadFiltersTest, UnreadableFilesStopTheRun) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> spoil;
    const std::vector<std::string>& expected;
    int verbose = 1;  // 0 where the listing's first lines precede the failure
  };
  const auto put = [](const char* name, std::string text) {
    return [=](const std::string& d) { vtest::write_file(d + "/" + name, text); };
  };
  std::string too_many = "301\n";
  for (int i = 0; i < 301; ++i) too_many += "Box.dat\n";
  const std::vector<Case> cases = {
      {"Vega missing", [](const std::string& d) { std::filesystem::remove(d + "/VegaLR.dat"); }, kFailureA},
      {"BD missing", [](const std::string& d) { std::filesystem::remove(d + "/BD+17d4708.dat"); }, kFailureA},
      {"Vega is a directory", [](const std::string& d) {
         std::filesystem::remove(d + "/VegaLR.dat");
         std::filesystem::create_directory(d + "/VegaLR.dat");
       }, kFailureA},
      {"Vega announces 10001", put("VegaLR.dat", "v 10001\n1 1\n2 1\n"), kFailureA},
      {"Vega announces 1", put("VegaLR.dat", "v 1\n1 1\n"), kFailureA},
      {"Vega ends early", put("VegaLR.dat", "v 4\n1 1\n2 1\n3 1\n"), kFailureA},
      {"Vega bad sample", put("VegaLR.dat", "v 2\n1 1\nabc 1\n"), kFailureA},
      {"Sun empty", put("Sun_LR.dat", ""), kFailureA},
      {"list missing", [](const std::string& d) { std::filesystem::remove(d + "/ListFilters.txt"); }, kFailureB},
      {"list empty", put("ListFilters.txt", ""), kFailureB},
      {"list count bad", put("ListFilters.txt", "two\nBox.dat\n"), kFailureB},
      {"list over 300", put("ListFilters.txt", too_many), kFailureB},
      {"list ends early", put("ListFilters.txt", "3\nBox.dat\nBox.dat\n"), kFailureB, 0},
      {"list name unreadable", put("ListFilters.txt", "1\n'unterminated\n"), kFailureB, 0},
      {"filter bad sample", put("Box.dat", std::string(15, '\n') + "4000 1\n5000 x\n"), kFailureB, 0},
      {"filter is a directory", [](const std::string& d) {
         std::filesystem::remove(d + "/Box.dat");
         std::filesystem::create_directory(d + "/Box.dat");
       }, kFailureB, 0},
  };
  for (const Case& c : cases) {
    vtest::TempDir t;
    const std::string d = t.str() + "/f";
    ptest::write_filter_dir(d, vega, sun, bd, {{"Box.dat", kBox}});
    c.spoil(d);
    FilterSet& set = shared_set();
    const Loaded r = load(set, d + "/", c.verbose);
    EXPECT_EQ(r.stop_status, 1) << c.what;
    EXPECT_EQ(r.keep, 0) << c.what;
    EXPECT_EQ(lines(r.out), c.expected) << c.what << "\n" << r.out;
  }
}

TEST_F(ReadFiltersTest, NegativeCountReadsNoFilter) {
  FilterSet& set = shared_set();
  make({});
  vtest::write_file(dir + "/ListFilters.txt", "-3\nBox.dat\n");
  const Loaded r = load(set, dir + "/", 1);
  ASSERT_EQ(r.stop_status, -1);
  EXPECT_EQ(set.Nfilters, -3);
  EXPECT_EQ(r.out, "    [ReadFilters]\n    ... Nfilters: -3\n    [ReadFilters]\n");
}

TEST_F(ReadFiltersTest, FilterNotIncreasingFailsOnlyItsCalibration) {
  FilterSet& set = shared_set();
  const Curve zigzag = {{4000.0f, 5000.0f, 4500.0f, 6000.0f}, {1.0f, 1.0f, 1.0f, 1.0f}};
  const Loaded r = load(set, make({{"Zig.dat", zigzag}, {"Box.dat", kBox}}));
  ASSERT_EQ(r.stop_status, -1);
  EXPECT_EQ(r.keep, 0);
  EXPECT_EQ(set.T_l_Area[0], -999.0f);
  EXPECT_EQ(set.T_n_Area[0], -999.0f);
  EXPECT_NE(r.out.find("    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [IntegralALL] λ is not in increasing @\n"),
            std::string::npos);
  EXPECT_EQ(set.T_l_Area[1], 2000.0f);
  EXPECT_EQ(set.lamb_eff[1], 5000.0f);
}

TEST_F(ReadFiltersTest, FilterOutsideBdGetsNoTgMagnitude) {
  FilterSet& set = shared_set();
  vega = flat(3000.0f, 9000.0f, 100.0f, 1.0f);
  bd = flat(3000.0f, 5000.0f, 100.0f, 1.0f);
  const Curve red = {{7000.0f, 8000.0f}, {1.0f, 1.0f}};
  const Loaded r = load(set, make({{"Red.dat", red}}));
  ASSERT_EQ(r.stop_status, -1);
  EXPECT_EQ(r.keep, 1);  // no overlap is not a failure
  EXPECT_EQ(set.T_G_Vega[0], -999.0f);
  EXPECT_EQ(set.F_l_Vega[0], 1000.0f);
}

// The AB magnitude of Vega against an independent double-precision integration of the
// same curves: −2.5 log10(∫F T dλ / ∫T c/λ² dλ) − 48.6.
TEST_F(ReadFiltersTest, AbMagnitudeOfVegaMatchesDoubleReference) {
  FilterSet& set = shared_set();
  vega = ptest::sample(2000.0, 12000.0, 6001, ptest::vega_like);
  sun = vega;
  bd = ptest::sample(2000.0, 12000.0, 3001, [](double l) { return 1e-4 * ptest::vega_like(l); });
  const Curve v_band = ptest::sample(4700.0, 7000.0, 231, [](double l) { return ptest::bell(l, 4700.0, 7000.0); });
  const Curve b_band = ptest::sample(3600.0, 5600.0, 41, [](double l) { return ptest::bell(l, 3600.0, 5600.0); });
  const Loaded r = load(set, make({{"V.dat", v_band}, {"B.dat", b_band}}));
  ASSERT_EQ(r.stop_status, -1) << r.out;
  ASSERT_EQ(r.keep, 1);

  const auto reference = [](const Curve& f) {
    // The filter is linear between its samples; Vega is evaluated analytically on a fine grid.
    const auto T = [&f](double x) {
      for (std::size_t k = 0; k + 1 < f.l.size(); ++k) {
        const double l0 = f.l[k], l1 = f.l[k + 1], t0 = f.f[k], t1 = f.f[k + 1];
        if (x >= l0 && x <= l1) {
          const double t = (x - l0) / (l1 - l0);
          return (1.0 - t) * t0 + t * t1;
        }
      }
      return 0.0;
    };
    const double a = f.l.front(), b = f.l.back();
    const int n = 200000;
    double num = 0.0, den = 0.0;
    for (int k = 0; k <= n; ++k) {
      const double x = a + (b - a) * k / n;
      const double w = (k == 0 || k == n) ? 0.5 : 1.0;
      num += w * ptest::vega_like(x) * T(x);
      den += w * T(x) * 2.99792458e18 / (x * x);
    }
    return -2.5 * std::log10(num / den) - 48.6;
  };
  EXPECT_NEAR(set.M_ABVega[0], reference(v_band), 1e-3);
  EXPECT_NEAR(set.M_ABVega[1], reference(b_band), 1e-3);
  EXPECT_NEAR(set.T_G_Vega[0], 9.5 - 2.5 * std::log10(1e4), 1e-4);
}

}  // namespace
}  // namespace veltrane
