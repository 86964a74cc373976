// EvalRedTerm: law selection, the grid loop, the status rules (with the mended handling of
// out-of-range grid points) and the verbose blocks. Expected q values come from the gfortran
// reference table; the e15.4/f15.x fields were checked with gfortran.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "extinction/red_term.h"
#include "law_reference_values.h"
#include "numerics/common.h"
#include "numerics/console.h"
#include "test_util.h"

namespace {

using veltrane::Console;
using veltrane::kMaxPoints;
using veltrane::kSentinel;

// q from the reference table: column 0 CAL, 1 CCJ, 2 CCM, 3 GD1, 4 GD2, 5 GD3.
float ref_q(int column, float lambda) {
  for (const auto& row : vtest::kLawReference) {
    if (std::bit_cast<float>(row.lambda) == lambda) {
      return std::bit_cast<float>(row.q[static_cast<std::size_t>(column)]);
    }
  }
  ADD_FAILURE() << "no reference row for " << lambda;
  return 0.0f;
}

int count_reports(const std::string& log) { return vtest::count(log, "[PROBLEM_FIT]"); }

class RedTermTest : public ::testing::Test {
 protected:
  vtest::TempDir dir;
  std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
  std::vector<float> grid = std::vector<float>(kMaxPoints, kSentinel);
  std::vector<float> red = std::vector<float>(kMaxPoints, 123.0f);  // stale values
  float qlbdnorm = -1.0f;
  int keep = 1;

  void set_grid(const std::vector<float>& points) {
    std::fill(grid.begin(), grid.end(), kSentinel);
    std::copy(points.begin(), points.end(), grid.begin());
  }
  void run(float lbd_norm, std::string_view code, int verbose = 0) {
    veltrane::EvalRedTerm(console, grid, red, lbd_norm, qlbdnorm, code, log, keep, verbose);
  }
  int reports() const { return count_reports(vtest::read_file(log)); }
};

// Reference wavelengths inside every law's range, increasing.
const std::vector<float> kOptical = {3000.0f, 3100.0f, 3650.0f, 4000.0f, 4400.0f, 5000.0f, 5500.0f,
                                     6000.0f, 6300.0f, 6300.5f, 7000.0f, 8000.0f, 9000.0f};

TEST_F(RedTermTest, EveryLawGivesMinusPointFourTimesTheDifferenceOfQ) {
  const std::map<std::string, int> codes = {{"CAL", 0}, {"CCJ", 1}, {"CCM", 2},
                                            {"GD1", 3}, {"GD2", 4}, {"GD3", 5}};
  for (const auto& [code, column] : codes) {
    set_grid(kOptical);
    keep = 1;
    run(4400.0f, code);
    const float qn = ref_q(column, 4400.0f);
    EXPECT_EQ(qlbdnorm, qn) << code;
    for (std::size_t i = 0; i < kOptical.size(); ++i) {
      const float expected = kOptical[i] == 4400.0f ? 0.0f : -((ref_q(column, kOptical[i]) - qn) * 0.4f);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(red[i]), std::bit_cast<std::uint32_t>(expected))
          << code << " at " << kOptical[i];
    }
    for (std::size_t i = kOptical.size(); i < red.size(); ++i) ASSERT_EQ(red[i], 0.0f) << i;
    EXPECT_EQ(keep, 1) << code;
  }
  EXPECT_FALSE(vtest::exists(log));
  EXPECT_EQ(console.captured(), "");
}

TEST_F(RedTermTest, CalzettiAroundTheNormalisationWavelength) {
  std::vector<float> points;
  for (int l = 3000; l <= 9000; l += 100) points.push_back(static_cast<float>(l));
  set_grid(points);
  run(5500.0f, "CAL");
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i] < 5500.0f) {
      EXPECT_LT(red[i], 0.0f) << points[i];
    } else if (points[i] > 5500.0f) {
      EXPECT_GT(red[i], 0.0f) << points[i];
    } else {
      EXPECT_EQ(red[i], 0.0f);
      EXPECT_FALSE(std::signbit(red[i]));
    }
  }
  EXPECT_EQ(keep, 1);
}

TEST_F(RedTermTest, NormalisationBluerThanTheGridClearsTheStatus) {
  set_grid(kOptical);
  run(2000.0f, "CAL");
  for (std::size_t i = 0; i < kOptical.size(); ++i) EXPECT_GT(red[i], 0.0f) << kOptical[i];
  EXPECT_EQ(keep, 0);
  EXPECT_FALSE(vtest::exists(log));  // the final rule reports nothing itself
}

TEST_F(RedTermTest, GridPastTheLawGetsZeroTermsAndOneReportPerPoint) {
  set_grid({5000.0f, 5500.0f, 20000.0f, 22000.0f, 25000.0f, 30000.0f, 31149.0f});
  run(5500.0f, "CAL");
  EXPECT_EQ(red[4], 0.0f);
  EXPECT_EQ(red[5], 0.0f);
  EXPECT_EQ(red[6], 0.0f);
  EXPECT_EQ(red[3], -((ref_q(0, 22000.0f) - ref_q(0, 5500.0f)) * 0.4f));
  EXPECT_EQ(reports(), 3);
  EXPECT_EQ(keep, 1);
}

TEST_F(RedTermTest, NormalisationOutsideTheLaw) {
  set_grid({3000.0f, 5500.0f, 9000.0f});
  run(1000.0f, "CAL");
  EXPECT_EQ(qlbdnorm, 0.0f);
  EXPECT_EQ(reports(), 1);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(red[i], -((ref_q(0, grid[i]) - 0.0f) * 0.4f)) << grid[i];
  }
  EXPECT_EQ(keep, 0);
}

// Mended: out-of-range grid points used to reset the status to 1, turning a failed model into
// a successful one. They now leave it as it was before the point.
TEST_F(RedTermTest, OutOfRangeGridPointsDoNotUndoANormalisationFailure) {
  set_grid({3000.0f, 5500.0f, 25000.0f, 30000.0f});
  run(1000.0f, "CAL");
  EXPECT_EQ(reports(), 3);  // lbd_norm and two grid points
  EXPECT_EQ(red[2], 0.0f);
  EXPECT_EQ(red[3], 0.0f);
  EXPECT_EQ(keep, 0);
}

TEST_F(RedTermTest, OutOfRangeGridPointsDoNotUndoAnEarlierFailure) {
  for (const char* code : {"CAL", "CCJ", "CCM", "GD1", "GD2", "GD3"}) {
    set_grid({3000.0f, 5500.0f, 9000.0f, 40000.0f});
    keep = 0;
    run(5500.0f, code);
    EXPECT_EQ(red[3], 0.0f) << code;
    EXPECT_EQ(keep, 0) << code;
  }
  EXPECT_EQ(reports(), 6);
}

TEST_F(RedTermTest, UnknownCodesUseTheExtendedCalzettiLawSilently) {
  // 1000 Å and 30000 Å lie inside the extended law only.
  const std::vector<float> points = {1000.0f, 1500.0f, 3000.0f, 5500.0f, 9000.0f, 30000.0f};
  set_grid(points);
  run(5500.0f, "CCJ");
  const std::vector<float> ccj(red.begin(), red.begin() + 6);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float expected = points[i] == 5500.0f ? 0.0f : -((ref_q(1, points[i]) - ref_q(1, 5500.0f)) * 0.4f);
    EXPECT_EQ(ccj[i], expected) << points[i];
  }
  for (const std::string code : {"ccj", "cal", "Cal", "XYZ", "", " CAL", "CALZ", "GD", "GD4", "CCJ "}) {
    std::fill(red.begin(), red.end(), 7.0f);
    keep = 1;
    run(5500.0f, code);
    EXPECT_EQ(std::vector<float>(red.begin(), red.begin() + 6), ccj) << '"' << code << '"';
    EXPECT_EQ(keep, 1) << '"' << code << '"';
  }
  EXPECT_FALSE(vtest::exists(log));
  EXPECT_EQ(console.captured(), "");
}

TEST_F(RedTermTest, PaddedCodeSelectsItsLaw) {
  set_grid({1000.0f, 5500.0f, 9000.0f});
  run(5500.0f, "CAL" + std::string(597, ' '));
  EXPECT_EQ(red[0], 0.0f);  // outside "CAL", inside "CCJ"
  EXPECT_EQ(reports(), 1);
  EXPECT_EQ(keep, 1);
}

TEST_F(RedTermTest, UsedPointsAreTheNonNegativeElements) {
  // A grid shorter than the table: the sentinel tail is neither evaluated nor reported.
  set_grid({4000.0f, 5500.0f});
  run(5500.0f, "CAL");
  EXPECT_FALSE(vtest::exists(log));
  EXPECT_EQ(red[0], -((ref_q(0, 4000.0f) - ref_q(0, 5500.0f)) * 0.4f));
  EXPECT_EQ(red[1], 0.0f);
  EXPECT_EQ(red[2], 0.0f);
  EXPECT_EQ(keep, 1);
}

TEST_F(RedTermTest, EmptyGridClearsEverything) {
  set_grid({});
  run(5500.0f, "CAL");
  for (float r : red) ASSERT_EQ(r, 0.0f);
  EXPECT_EQ(qlbdnorm, ref_q(0, 5500.0f));
  EXPECT_EQ(keep, 0);
  EXPECT_FALSE(vtest::exists(log));
}

TEST_F(RedTermTest, EqualQAwayFromTheNormalisationGivesNegativeZero) {
  // Just below 8192 Å a wavelength and the next float above it can share x = 10000/λ, hence
  // q: the term is then −((q − q)·0.4) = −0.0, not the exact 0.0 of λ == lbd_norm.
  float norm = 8180.0f;
  while (10000.0f / norm != 10000.0f / std::nextafter(norm, 9000.0f) && norm < 8191.0f) {
    norm = std::nextafter(norm, 9000.0f);
  }
  const float next = std::nextafter(norm, 9000.0f);
  ASSERT_EQ(10000.0f / next, 10000.0f / norm);
  set_grid({5000.0f, norm, next, 9000.0f});
  run(norm, "CAL");
  EXPECT_EQ(red[1], 0.0f);
  EXPECT_FALSE(std::signbit(red[1]));
  EXPECT_EQ(red[2], 0.0f);
  EXPECT_TRUE(std::signbit(red[2]));
}

TEST_F(RedTermTest, ShortOutputSpanBoundsTheLoop) {
  set_grid({3000.0f, 4000.0f, 5500.0f, 9000.0f});
  std::vector<float> short_red(2, 5.0f);
  veltrane::EvalRedTerm(console, grid, short_red, 5500.0f, qlbdnorm, "CAL", log, keep, 0);
  EXPECT_EQ(short_red[0], -((ref_q(0, 3000.0f) - ref_q(0, 5500.0f)) * 0.4f));
  EXPECT_EQ(short_red[1], -((ref_q(0, 4000.0f) - ref_q(0, 5500.0f)) * 0.4f));
}

TEST_F(RedTermTest, VerboseBlocks) {
  set_grid({3000.0f, 5500.0f, 9000.0f});
  run(5500.0f, "CAL", 1);
  EXPECT_EQ(console.captured(),
            "    [EvalRedTerm]\n"
            "    ... R_LawOPT ==> CAL\n"
            "    ... lbd_norm ==> 5500.000\n"
            "    ... qlbdnorm ==> 0.999479\n"
            "    ... Red term ==> -0.2842E+00 | \xCE\xBB = 3000.0000\n"
            "    ... Red term ==> +0.1840E+00 | \xCE\xBB = 9000.0000\n"
            "    ... IsKeepOn ==> 1\n"
            "    [EvalRedTerm]\n");
}

TEST_F(RedTermTest, VerboseSinglePointAndStatusBeforeTheFinalRule) {
  // One point, bluer than lbd_norm: both point lines show it, without the "+".
  set_grid({5500.0f});
  run(9000.0f, "CAL", 1);
  EXPECT_EQ(console.captured(),
            "    [EvalRedTerm]\n"
            "    ... R_LawOPT ==> CAL\n"
            "    ... lbd_norm ==> 9000.000\n"
            "    ... qlbdnorm ==> 0.539472\n"
            "    ... Red term ==> -0.1840E+00 | \xCE\xBB = 5500.0000\n"
            "    ... Red term ==> -0.1840E+00 | \xCE\xBB = 5500.0000\n"
            "    ... IsKeepOn ==> 1\n"
            "    [EvalRedTerm]\n");
  EXPECT_EQ(keep, 1);

  // Every term positive: the block shows 1, the status ends 0.
  console.clear();
  set_grid({9000.0f});
  run(5500.0f, "CAL", 1);
  EXPECT_NE(console.captured().find("    ... IsKeepOn ==> 1\n    [EvalRedTerm]\n"), std::string::npos);
  EXPECT_EQ(keep, 0);
}

TEST_F(RedTermTest, VerboseEmptyGridShowsOnlyTheStatusInTheTail) {
  set_grid({});
  keep = 1;
  run(999.0f, "CCM   ", 1);
  EXPECT_EQ(console.captured(),
            "    [EvalRedTerm]\n"
            "    ... R_LawOPT ==> CCM\n"
            "    ... lbd_norm ==> 999.000\n"
            "    ... qlbdnorm ==> 0.000000\n"
            "    ... IsKeepOn ==> 0\n"
            "    [EvalRedTerm]\n");
  EXPECT_EQ(reports(), 1);
}

TEST_F(RedTermTest, VerboseOnlyWithFlagOne) {
  set_grid({3000.0f, 5500.0f});
  for (int flag : {0, 2, -1}) {
    run(5500.0f, "CAL", flag);
    EXPECT_EQ(console.captured(), "") << flag;
  }
}

}  // namespace
