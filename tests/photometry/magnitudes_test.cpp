// EvalFilters: magnitudes in the seven systems, on filter sets built in memory (hand-worked
// values) or loaded from a generated directory (the Vega identities and the AB zero point).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "photometry_fixtures.h"

namespace veltrane {
namespace {

using ptest::Curve;
using V = std::vector<float>;

Curve flat(float a, float b, float step, float value) {
  Curve c;
  for (float x = a; x <= b; x += step) {
    c.l.push_back(x);
    c.f.push_back(value);
  }
  return c;
}

FilterSet& shared_set() {
  static auto set = std::make_unique<FilterSet>();
  return *set;
}

// Filter i of `set` from a curve, with hand-chosen calibration values.
void put_filter(FilterSet& set, int i, const Curve& c, float area, float f_vega, float m_ab,
                float t_g) {
  const std::size_t col = std::size_t(i) * kMaxPoints;
  std::copy(c.l.begin(), c.l.end(), set.t_lambda.begin() + std::ptrdiff_t(col));
  std::copy(c.f.begin(), c.f.end(), set.t_fluxes.begin() + std::ptrdiff_t(col));
  const std::size_t k = std::size_t(i);
  set.Npt_fil[k] = int(c.l.size());
  set.name_fil[k] = "Filter" + std::to_string(i + 1) + ".dat";
  set.T_l_Area[k] = area;
  set.F_l_Vega[k] = f_vega;
  set.M_ABVega[k] = m_ab;
  set.T_G_Vega[k] = t_g;
}

const Curve kBox = {{4000.0f, 6000.0f}, {1.0f, 1.0f}};

struct Outcome {
  MagnitudeTable table;
  FilterResults res;
  int keep = 1;
  std::string out;
};

std::unique_ptr<Outcome> eval(const FilterSet& set, const Curve& spectrum, int slot = 0,
                          int verbose = 0, int keep = 1) {
  auto r = std::make_unique<Outcome>();
  std::fill(r->table.m.begin(), r->table.m.end(), 7.0f);
  r->keep = keep;
  Console console = Console::capture();
  EvalFilters(console, spectrum.l, spectrum.f, set, r->res, r->table.plane(slot), 2, r->keep, verbose);
  r->out = console.captured();
  return r;
}

TEST(EvalFilters, SevenSystemsWithTheirListing) {
  FilterSet& set = shared_set();
  set.Nfilters = 1;
  put_filter(set, 0, kBox, 2000.0f, 10000.0f, 1.0f, -999.0f);
  // F = ∫0.5 dλ over [4000, 6000] = 1000, so −2.5 log10 F = −7.5; Z_1 = 2.5 log10(1e4) = 10.
  const auto r = eval(set, flat(3000.0f, 7000.0f, 100.0f, 0.5f), 1, 1);
  EXPECT_EQ(r->keep, 1);
  EXPECT_EQ(r->res.filt_zp_v[0], 10.0f);
  EXPECT_EQ(r->res.filt_zp_v[1], -999.0f);
  EXPECT_EQ(r->res.filt_res_a[0], 1.0f);
  EXPECT_EQ(r->res.filt_res_b[0], 1.0f);
  const float expected[kNumSystems] = {2.5f, 2.526f, 3.5f, -999.0f, -28.6f, -28.675f, -7.5f};
  for (int k = 0; k < kNumSystems; ++k) {
    EXPECT_NEAR(r->table.at(0, k, 1), expected[k], 2e-6) << kSystemNames[k];
    EXPECT_EQ(r->table.at(1, k, 1), 7.0f);  // beyond Nfilters: untouched
    EXPECT_EQ(r->table.at(0, k, 0), 7.0f);  // other slots: untouched
    EXPECT_EQ(r->table.at(0, k, 2), 7.0f);
  }
  EXPECT_EQ(r->out,
            "    [EvalFilters]\n"
            "    ... name_fil: Filter1.dat\n"
            "    ... VEGA_std: 2.50000\n"
            "    ... VEGABG04: 2.52600\n"
            "    ... ABsystem: 3.50000\n"
            "    ... TGsystem: -999.00000\n"
            "    ... WFPC2sys: -28.60000\n"
            "    ... FOCA_sys: -28.67500\n"
            "    ... NO_calib: -7.50000\n"
            "    [EvalFilters]\n");
}

TEST(EvalFilters, MissingVegaFluxLeavesOnlyTheFixedSystems) {
  FilterSet& set = shared_set();
  set.Nfilters = 2;
  const float nan = std::nanf("");
  // Filter 1: no Vega flux (its M_ABVega and T_G_Vega are NaN then); filter 2: T_G_Vega -999.
  put_filter(set, 0, kBox, 2000.0f, -999.0f, nan, nan);
  put_filter(set, 1, kBox, 2000.0f, 1000.0f, 0.5f, -999.0f);
  const auto r = eval(set, flat(3000.0f, 7000.0f, 100.0f, 0.5f));
  for (int k = 0; k < 4; ++k) EXPECT_EQ(r->table.at(0, k, 0), -999.0f) << k;
  EXPECT_NEAR(r->table.at(0, 4, 0), -28.6f, 2e-6);
  EXPECT_NEAR(r->table.at(0, 5, 0), -28.675f, 2e-6);
  EXPECT_NEAR(r->table.at(0, 6, 0), -7.5f, 2e-6);
  EXPECT_TRUE(std::isnan(r->res.filt_zp_v[0]));
  EXPECT_NEAR(r->table.at(1, 0, 0), 0.0f, 1e-6);
  EXPECT_NEAR(r->table.at(1, 2, 0), 0.5f, 1e-6);
  EXPECT_EQ(r->table.at(1, 3, 0), -999.0f);
  EXPECT_EQ(r->keep, 1);
}

TEST(EvalFilters, SpectraThatGiveNoMagnitude) {
  FilterSet& set = shared_set();
  set.Nfilters = 1;
  put_filter(set, 0, {{4000.0f, 5000.0f, 6000.0f}, {1.0f, 1.0f, 1.0f}}, 2000.0f, 1000.0f, 0.0f, 9.0f);
  struct Case { const char* what; Curve s; float covered, positive; };
  const std::vector<Case> cases = {
      {"below the filter", flat(1000.0f, 3000.0f, 100.0f, 1.0f), 0.0f, 0.0f},
      {"negative lower half", flat(3000.0f, 5000.0f, 100.0f, -1.0f), 0.5f, 0.0f},
      {"zero flux", flat(3000.0f, 7000.0f, 100.0f, 0.0f), 1.0f, 0.0f},
  };
  for (const Case& c : cases) {
    const auto r = eval(set, c.s);
    EXPECT_EQ(r->keep, 1) << c.what;
    EXPECT_EQ(r->res.filt_res_a[0], c.covered) << c.what;
    EXPECT_EQ(r->res.filt_res_b[0], c.positive) << c.what;
    for (int k = 0; k < kNumSystems; ++k) EXPECT_EQ(r->table.at(0, k, 0), -999.0f) << c.what << k;
    EXPECT_EQ(r->out, "");
  }
}

TEST(EvalFilters, NothingWrittenWhenTheModelHasFailed) {
  FilterSet& set = shared_set();
  set.Nfilters = 1;
  put_filter(set, 0, kBox, 2000.0f, 1000.0f, 0.0f, 9.0f);
  auto r = std::make_unique<Outcome>();
  std::fill(r->table.m.begin(), r->table.m.end(), 7.0f);
  r->res.filt_zp_v.assign(kMaxFilters, 7.0f);
  r->res.filt_res_a.assign(kMaxFilters, 7.0f);
  r->res.filt_res_b.assign(kMaxFilters, 7.0f);
  int keep = 0;
  Console console = Console::capture();
  const Curve s = flat(3000.0f, 7000.0f, 100.0f, 1.0f);
  EvalFilters(console, s.l, s.f, set, r->res, r->table.plane(0), 2, keep, 1);
  EXPECT_EQ(keep, 0);
  EXPECT_EQ(console.captured(), "");
  for (float v : r->table.m) ASSERT_EQ(v, 7.0f);
  for (float v : r->res.filt_zp_v) ASSERT_EQ(v, 7.0f);
  for (float v : r->res.filt_res_a) ASSERT_EQ(v, 7.0f);
  for (float v : r->res.filt_res_b) ASSERT_EQ(v, 7.0f);
}

TEST(EvalFilters, FailedIntegrationClearsStatusAndTheRestGoesOn) {
  FilterSet& set = shared_set();
  set.Nfilters = 2;
  put_filter(set, 0, kBox, 2000.0f, 1000.0f, 0.0f, 9.0f);
  put_filter(set, 1, kBox, 2000.0f, 1000.0f, 0.0f, 9.0f);
  // A spectrum whose wavelengths repeat fails every integration on it.
  const Curve s = {{3000.0f, 5000.0f, 5000.0f, 7000.0f}, {1.0f, 1.0f, 1.0f, 1.0f}};
  const auto r = eval(set, s);
  EXPECT_EQ(r->keep, 0);
  EXPECT_EQ(r->res.filt_res_a[1], -999.0f / 2000.0f);
  for (int k = 0; k < kNumSystems; ++k) EXPECT_EQ(r->table.at(1, k, 0), -999.0f);
  EXPECT_NE(r->out.find("[IntegralALL] λ is not in increasing @"), std::string::npos);
}

TEST(EvalFilters, FilterWithNoSamplesGetsNoMagnitude) {
  FilterSet& set = shared_set();
  set.Nfilters = 1;
  put_filter(set, 0, Curve{}, -999.0f, -999.0f, -999.0f, -999.0f);
  const auto r = eval(set, flat(3000.0f, 7000.0f, 100.0f, 1.0f));
  EXPECT_EQ(r->keep, 1);
  EXPECT_EQ(r->res.filt_res_a[0], 0.0f);
  for (int k = 0; k < kNumSystems; ++k) EXPECT_EQ(r->table.at(0, k, 0), -999.0f);
}

TEST(EvalFilters, TableHoldsOnlyTheUsedSystemsAndSlots) {
  MagnitudeTable t;
  EXPECT_EQ(t.m.size(), std::size_t(kMaxFilters) * kNumSystems * kNumSlots);
  t.at(299, 6, 3) = 1.0f;
  EXPECT_EQ(t.m.back(), 1.0f);
  t.at(1, 0, 0) = 2.0f;
  EXPECT_EQ(t.m[1], 2.0f);  // the filter index varies fastest
  EXPECT_EQ(t.plane(2).data(), t.m.data() + 2 * kNumSystems * kMaxFilters);
}

// ---- on a calibrated set read from a generated directory ----

class CalibratedSet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new vtest::TempDir;
    vega_ = new Curve(ptest::sample(2000.0, 12000.0, 8001, ptest::vega_like));
    const Curve bd = ptest::sample(2500.0, 11000.0, 2001, [](double l) { return 2e-5 * ptest::vega_like(l) * (l / 5000.0); });
    std::vector<std::pair<std::string, Curve>> filters;
    filters.push_back({"V.dat", ptest::sample(4700.0, 7000.0, 231, [](double l) { return ptest::bell(l, 4700.0, 7000.0); })});
    filters.push_back({"B.dat", ptest::sample(3600.0, 5600.0, 41, [](double l) { return ptest::bell(l, 3600.0, 5600.0); })});
    filters.push_back({"I.dat", ptest::sample(7000.0, 9500.0, 700, [](double l) { return 0.8 * ptest::bell(l, 7000.0, 9500.0); })});
    const std::string dir = ptest::write_filter_dir(tmp_->str() + "/f", *vega_, *vega_, bd, filters);
    Console console = Console::capture();
    int keep = 1;
    ReadFilters(console, shared_set(), dir, 2, keep, 0);
    ASSERT_EQ(keep, 1) << console.captured();
  }
  static void TearDownTestSuite() {
    delete tmp_;
    delete vega_;
  }
  static vtest::TempDir* tmp_;
  static Curve* vega_;
};
vtest::TempDir* CalibratedSet::tmp_ = nullptr;
Curve* CalibratedSet::vega_ = nullptr;

TEST_F(CalibratedSet, VegaItselfIsZeroInTheVegaSystem) {
  const FilterSet& set = shared_set();
  ASSERT_EQ(set.Nfilters, 3);
  const auto r = eval(set, *vega_);
  for (int i = 0; i < 3; ++i) {
    const std::size_t k = std::size_t(i);
    EXPECT_EQ(r->table.at(i, 0, 0), 0.0f) << i;
    EXPECT_NEAR(r->table.at(i, 1, 0), 0.026f, 1e-6) << i;
    EXPECT_NEAR(r->table.at(i, 2, 0), set.M_ABVega[k], 2e-6) << i;
    EXPECT_NEAR(r->table.at(i, 3, 0), set.T_G_Vega[k], 2e-6) << i;
    EXPECT_NEAR(r->res.filt_res_a[k], 1.0f, 1e-5) << i;
    EXPECT_NEAR(r->res.filt_res_b[k], 1.0f, 1e-5) << i;
    EXPECT_EQ(r->res.filt_zp_v[k], 2.5f * std::log10(set.F_l_Vega[k]));
  }
  EXPECT_EQ(r->keep, 1);
}

TEST_F(CalibratedSet, FlatFnuOfAbMagnitudeZeroIsZeroInTheAbSystem) {
  // f_ν = 10^(−48.6/2.5) erg/s/cm²/Hz, f_λ = f_ν c / λ².
  const double fnu = std::pow(10.0, -48.6 / 2.5);
  const Curve s = ptest::sample(3000.0, 11000.0, 16001, [fnu](double l) { return fnu * 2.99792458e18 / (l * l); });
  const auto r = eval(shared_set(), s);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r->table.at(i, 2, 0), 0.0f, 1e-3) << i;
  // The same spectrum 10 times brighter is 2.5 mag brighter in every system.
  Curve bright = s;
  for (float& f : bright.f) f *= 10.0f;
  const auto rb = eval(shared_set(), bright);
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < kNumSystems; ++k) {
      EXPECT_NEAR(rb->table.at(i, k, 0) - r->table.at(i, k, 0), -2.5f, 1e-4) << i << " " << k;
    }
  }
}

}  // namespace
}  // namespace veltrane
