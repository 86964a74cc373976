// EvalRedTerm: law selection, the grid loop and the status rules (out-of-range grid points
// leave the status as it was). Expected terms are −0.4 (q − q_norm) with q from the Fortran
// transcription's table (data/law_values.txt).
#include "extinction/red_term.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/limits.h"

namespace veltrane {
namespace {

using Vec = std::vector<float>;

// q by law column (CAL, CCJ, CCM, GD1, GD2, GD3) and wavelength, 0 out of range.
float ref_q(int law, float lambda) {
  static const auto table = [] {
    std::map<float, std::array<float, 6>> t;
    std::ifstream in(std::string(VELTRANE_TEST_DATA) + "/extinction/data/law_values.txt");
    for (std::string line; std::getline(in, line);) {
      if (line[0] == '#') continue;
      std::istringstream l(line);
      std::string text, bits;
      l >> text >> bits;
      auto& q = t[std::bit_cast<float>(std::uint32_t(std::stoul(bits, nullptr, 16)))];
      for (float& v : q) l >> bits, v = std::bit_cast<float>(std::uint32_t(std::stoul(bits, nullptr, 16)));
    }
    return t;
  }();
  return table.at(lambda)[std::size_t(law)];
}

const Vec kOptical = {3000, 3100, 3650, 4000, 4400, 5000, 5500, 6000, 6300, 6300.5f, 7000, 8000, 9000};

TEST(RedTerm, TermsStatusAndReports) {
  const struct {
    const char* code;
    int law;
    Vec grid;
    float norm;
    int keep_in, keep_out, reports;
  } cases[] = {{"CAL", 0, kOptical, 4400, 1, 1, 0},
               {"CCJ", 1, kOptical, 4400, 1, 1, 0},
               {"CCM", 2, kOptical, 4400, 1, 1, 0},
               {"GD1", 3, kOptical, 4400, 1, 1, 0},
               {"GD2", 4, kOptical, 4400, 1, 1, 0},
               {"GD3", 5, kOptical, 4400, 1, 1, 0},
               {"CAL", 0, kOptical, 2000, 1, 0, 0},  // bluer than the grid: every term > 0
               {"CAL", 0, {5000, 5500, 20000, 22000, 25000, 30000, 31149}, 5500, 1, 1, 3},  // past the law
               {"CAL", 0, {3000, 5500, 9000}, 1000, 1, 0, 1},                               // lbd_norm out: q_norm 0
               {"CAL", 0, {3000, 5500, 25000, 30000}, 1000, 1, 0, 3},  // ... not undone by grid points
               {"CCM", 2, {3000, 5500, 9000, 33334}, 5500, 0, 0, 1},   // nor an earlier failure
               {"GD2", 4, {3000, 5500, 9000, 25000}, 5500, 0, 0, 1},
               {"CAL"
                "                ",
                0,
                {1000, 5500, 9000},
                5500,
                1,
                1,
                1},                                                               // padded code
               {"ccj", 1, {1000, 1500, 3000, 5500, 9000, 30000}, 5500, 1, 1, 0},  // unknown codes: CCJ
               {" CAL", 1, {1000, 1500, 3000, 5500, 9000, 30000}, 5500, 1, 1, 0},
               {"XYZ", 1, {1000, 1500, 3000, 5500, 9000, 30000}, 5500, 1, 1, 0},
               {"CAL", 0, {4000, 5500}, 5500, 1, 1, 0},  // the -999 tail is not a point
               {"CAL", 0, {}, 5500, 1, 0, 0}};           // an empty grid fails
  for (const auto& c : cases) {
    CapturedReport report;
    if (c.keep_in == 0) report.status.fail({});
    Vec grid(kMaxPoints, kSentinel), red(kMaxPoints, 123.0f);
    std::copy(c.grid.begin(), c.grid.end(), grid.begin());
    const float qn = EvalRedTerm(report.context, grid, red, c.norm, c.code);
    const float want_qn = ref_q(c.law, c.norm);
    EXPECT_EQ(qn, want_qn) << c.code << " " << c.norm;
    for (std::size_t i = 0; i < red.size(); ++i) {
      const float q = i < c.grid.size() ? ref_q(c.law, c.grid[i]) : 0.0f;
      const float want = i >= c.grid.size() || q == 0.0f || c.grid[i] == c.norm ? 0.0f : -((q - want_qn) * 0.4f);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(red[i]), std::bit_cast<std::uint32_t>(want)) << c.code << " point " << i;
    }
    EXPECT_EQ(report.status.good(), c.keep_out == 1) << c.code << " " << c.norm;
    EXPECT_EQ(int(report.log.reports().size()), c.reports) << c.code;
  }
}

// Just below 8192 Å a wavelength and the next float share x = 10000/λ, hence q: the term is
// then −((q − q)·0.4) = −0.0, unlike the exact +0.0 at lbd_norm itself. A short output span
// bounds the loop.
TEST(RedTerm, NegativeZeroAndShortOutput) {
  CapturedReport report;
  float norm = 8180.0f;
  while (10000.0f / norm != 10000.0f / std::nextafter(norm, 9000.0f)) norm = std::nextafter(norm, 9000.0f);
  Vec grid = {5000, norm, std::nextafter(norm, 9000.0f), 9000}, red(4), short_red(2, 5.0f);
  EvalRedTerm(report.context, grid, red, norm, "CAL");
  EXPECT_FALSE(std::signbit(red[1]));
  EXPECT_TRUE(std::signbit(red[2]) && red[2] == 0.0f);
  EvalRedTerm(report.context, grid, short_red, norm, "CAL");
  EXPECT_EQ(short_red, Vec(red.begin(), red.begin() + 2));
}

// The law's values kept for a grid against evaluating them at every galaxy: the same terms,
// q(lbd_norm), status, console and log (a point out of range reported again, in order), for
// every law, on grids that leave the laws' ranges, hold lbd_norm or NaN, after a galaxy that
// failed, and when values are kept for several laws of the grid.
TEST(RedTerm, KeptLawValuesGiveWhatEvaluatingThemGives) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(500.0f, 40000.0f);
  LawValues kept;
  Vec grid;
  std::size_t used = 0;
  for (int round = 0; round < 160; ++round) {
    if (round % 4 == 0) {  // every grid four times: with other laws, or the same again
      grid.assign(50 + rng() % 200, -999.0f);
      used = grid.size() - rng() % 10;
      for (std::size_t i = 0; i < used; ++i) grid[i] = rng() % 40 == 0 ? std::nanf("") : u(rng);
      kept.forget();
    }
    const float norm = rng() % 3 == 0 ? grid[rng() % used] : 4020.0f;
    const std::string law(kLawCodes[rng() % 6]);
    const bool failed_before = rng() % 5 == 0;
    for (int pass = 0; pass < 2; ++pass) {  // the first may keep, the second takes what was kept
      CapturedReport want, got;
      if (failed_before) want.status.fail({}), got.status.fail({});
      Vec red_want(grid.size(), 7.0f), red_got(grid.size(), 7.0f);
      const float q_want = EvalRedTerm(want.context, grid, red_want, norm, law);
      const float q_got = EvalRedTerm(got.context, grid, red_got, norm, law, kept);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(q_got), std::bit_cast<std::uint32_t>(q_want)) << round;
      for (std::size_t i = 0; i < grid.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(red_got[i]), std::bit_cast<std::uint32_t>(red_want[i]))
            << round << " " << i;
      ASSERT_EQ(got.status.failed(), want.status.failed()) << round;
      ASSERT_EQ(got.console.captured(), want.console.captured()) << round;
      ASSERT_EQ(got.log.reports().size(), want.log.reports().size()) << round;
      for (std::size_t k = 0; k < want.log.reports().size(); ++k) {  // the date lines aside
        const std::string_view a = got.log.text(got.log.reports()[k]), b = want.log.text(want.log.reports()[k]);
        ASSERT_EQ(a.substr(0, a.rfind("VESK")), b.substr(0, b.rfind("VESK"))) << round;
      }
    }
  }
}

}  // namespace
}  // namespace veltrane
