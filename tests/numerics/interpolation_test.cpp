// LINEAR1_Deg: values, the saved bracket and its reset argument, and the verbose blocks.
// Expected numbers are worked by hand; printed fields were checked with gfortran (fprobe).
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "numerics/console.h"
#include "numerics/interpolation.h"

namespace veltrane {
namespace {

// The saved bracket is process-wide: every test starts from the run's initial value.
class Linear1Deg : public ::testing::Test {
 protected:
  void SetUp() override { set_saved_bracket(1); }
  void TearDown() override { set_saved_bracket(1); }

  const std::vector<float> x3{1.0f, 2.0f, 3.0f};
  const std::vector<float> y3{10.0f, 20.0f, 30.0f};
};

// A fresh linear search, written independently of the routine: the first interval
// [x(k), x(k+1)] holding x, the last interval for x = x(n).
float fresh_value(const std::vector<float>& xs, const std::vector<float>& ys, float x) {
  const std::size_t n = xs.size();
  if (x < xs[0] || x > xs[n - 1]) return 0.0f;
  std::size_t k = 0;
  while (k + 2 < n && xs[k + 1] <= x) ++k;
  const float t = (x - xs[k]) / (xs[k + 1] - xs[k]);
  return (1.0f - t) * ys[k] + t * ys[k + 1];
}

TEST_F(Linear1Deg, WorkedValuesOnAFreshStart) {
  struct Case {
    float x;
    float y;
    int bracket;  // saved bracket afterwards (1-based)
  };
  const Case cases[] = {
      {2.5f, 25.0f, 2},  // the worked example
      {1.0f, 10.0f, 1},  // first abscissa: first interval, weight 0 on y(2)
      {3.0f, 30.0f, 2},  // last abscissa: last interval, weight 1 on y(n)
      {2.0f, 20.0f, 2},  // an inner node found through the equality branch
      {1.5f, 15.0f, 1},
      {0.5f, 0.0f, 1},   // below the table: no extrapolation, bracket from the reset
      {3.5f, 0.0f, 1},   // above the table
  };
  for (const Case& c : cases) {
    set_saved_bracket(77);
    int ilastval = -999;
    EXPECT_EQ(LINEAR1_Deg(c.x, x3, y3, ilastval), c.y) << "x = " << c.x;
    EXPECT_EQ(saved_bracket(), c.bracket) << "x = " << c.x;
    EXPECT_EQ(ilastval, 1) << "x = " << c.x;
  }
}

TEST_F(Linear1Deg, OutsideTheTableLeavesTheClampedBracket) {
  const std::vector<float> xs{1, 2, 3, 4, 5};
  const std::vector<float> ys{1, 2, 3, 4, 5};
  int ilastval = 1;
  set_saved_bracket(3);
  EXPECT_EQ(LINEAR1_Deg(0.5f, xs, ys, ilastval), 0.0f);
  EXPECT_EQ(saved_bracket(), 3);
  EXPECT_EQ(ilastval, 3);
  // A saved bracket beyond the table is clamped to n - 1 and stays there.
  set_saved_bracket(40);
  EXPECT_EQ(LINEAR1_Deg(9.0f, xs, ys, ilastval), 0.0f);
  EXPECT_EQ(saved_bracket(), 4);
  EXPECT_EQ(ilastval, 40);
}

TEST_F(Linear1Deg, IlastvalReturnsTheBracketAsItWasOnEntry) {
  int ilastval = 5;  // no reset: ilastval takes the saved bracket
  set_saved_bracket(2);
  EXPECT_EQ(LINEAR1_Deg(1.25f, x3, y3, ilastval), 12.5f);
  EXPECT_EQ(ilastval, 2);
  EXPECT_EQ(saved_bracket(), 1);

  // Even a value of n or more, before it is clamped for the search.
  set_saved_bracket(9);
  EXPECT_EQ(LINEAR1_Deg(2.75f, x3, y3, ilastval), 27.5f);
  EXPECT_EQ(ilastval, 9);
  EXPECT_EQ(saved_bracket(), 2);

  // Zero asks for a reset as well as -999 does.
  ilastval = 0;
  set_saved_bracket(2);
  EXPECT_EQ(LINEAR1_Deg(2.75f, x3, y3, ilastval), 27.5f);
  EXPECT_EQ(ilastval, 1);
}

TEST_F(Linear1Deg, SweepWithOneResetEqualsFreshSearches) {
  std::vector<float> got;
  int ilastval = -999;  // set once, before the sweep
  for (int j = 11; j <= 29; ++j) {
    const float x = static_cast<float>(j) / 10.0f;
    got.push_back(LINEAR1_Deg(x, x3, y3, ilastval));
  }
  for (int j = 11; j <= 29; ++j) {
    const float x = static_cast<float>(j) / 10.0f;
    int fresh = -999;
    set_saved_bracket(1);
    EXPECT_EQ(got[static_cast<std::size_t>(j - 11)], LINEAR1_Deg(x, x3, y3, fresh)) << x;
    EXPECT_EQ(got[static_cast<std::size_t>(j - 11)], fresh_value(x3, y3, x)) << x;
  }
}

TEST_F(Linear1Deg, ShortTableAfterALongSweepWithoutReset) {
  std::vector<float> xs, ys;
  for (int j = 1; j <= 1000; ++j) {
    xs.push_back(static_cast<float>(j));
    ys.push_back(static_cast<float>(2 * j));
  }
  int ilastval = -999;
  for (int j = 1; j <= 998; ++j) LINEAR1_Deg(static_cast<float>(j) + 0.5f, xs, ys, ilastval);
  ASSERT_EQ(saved_bracket(), 998);

  // The search starts from n - 1 = 2 and still finds [1, 2].
  EXPECT_EQ(LINEAR1_Deg(1.5f, x3, y3, ilastval), 15.0f);
  EXPECT_EQ(ilastval, 998);
  EXPECT_EQ(saved_bracket(), 1);
}

TEST_F(Linear1Deg, CarriedBracketAgreesWithFreshSearchInAnyOrder) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> step(0.01f, 3.0f);
  std::uniform_real_distribution<float> val(-50.0f, 50.0f);
  std::vector<float> xs, ys;
  float x = 100.0f;
  for (int j = 0; j < 500; ++j) {
    x += step(rng);
    xs.push_back(x);
    ys.push_back(val(rng));
  }
  std::uniform_real_distribution<float> where(xs.front() - 20.0f, xs.back() + 20.0f);
  std::uniform_int_distribution<std::size_t> node(0, xs.size() - 1);
  int ilastval = -999;
  for (int j = 0; j < 5000; ++j) {
    // Mostly increasing runs, with jumps both ways and exact nodes now and then.
    const float q = (j % 7 == 0) ? xs[node(rng)] : where(rng);
    EXPECT_EQ(LINEAR1_Deg(q, xs, ys, ilastval), fresh_value(xs, ys, q)) << "x = " << q;
  }
}

TEST_F(Linear1Deg, BracketMovesAlongAnIncreasingSweep) {
  const std::vector<float> xs{0, 1, 2, 3, 4, 5, 6, 7};
  const std::vector<float> ys{0, 1, 2, 3, 4, 5, 6, 7};
  int ilastval = -999;
  const float sweep[] = {0.5f, 1.0f, 2.5f, 6.0f, 7.0f};
  const int brackets[] = {1, 2, 3, 6, 7};  // 6.0 is found from below: [5, 6] with t = 1
  for (int j = 0; j < 5; ++j) {
    EXPECT_EQ(LINEAR1_Deg(sweep[j], xs, ys, ilastval), sweep[j]);
    EXPECT_EQ(saved_bracket(), brackets[j]) << sweep[j];
  }
}

TEST_F(Linear1Deg, TableNotIncreasingTakesTheBracketBelow) {
  // Upward search with x <= x(i): the bracket is i - 1 (clamped to 1).
  const std::vector<float> xs{1, 5, 3, 4};
  const std::vector<float> ys{10, 50, 30, 40};
  int ilastval = 1;
  set_saved_bracket(2);
  EXPECT_EQ(LINEAR1_Deg(4.0f, xs, ys, ilastval), 40.0f);  // t = 3/4 on [1, 5]
  EXPECT_EQ(saved_bracket(), 1);

  const std::vector<float> xd{5, 1, 0};
  const std::vector<float> yd{8, 4, 0};
  set_saved_bracket(1);
  EXPECT_EQ(LINEAR1_Deg(3.0f, xd, yd, ilastval), 6.0f);  // k = 0 clamped to 1, t = 1/2
  EXPECT_EQ(saved_bracket(), 1);
}

TEST_F(Linear1Deg, TablesOfFewerThanTwoPoints) {
  const std::vector<float> one{2.0f};
  set_saved_bracket(6);
  int ilastval = 3;
  EXPECT_EQ(LINEAR1_Deg(2.0f, one, one, ilastval), 0.0f);
  EXPECT_EQ(ilastval, 6);
  EXPECT_EQ(saved_bracket(), 6);
  ilastval = -999;
  EXPECT_EQ(LINEAR1_Deg(2.0f, std::span<const float>(), std::span<const float>(), ilastval), 0.0f);
  EXPECT_EQ(ilastval, 1);
  EXPECT_EQ(saved_bracket(), 1);
}

TEST_F(Linear1Deg, ShorterOrdinateTableLimitsThePoints) {
  const std::vector<float> y2{10.0f, 20.0f};
  int ilastval = -999;
  EXPECT_EQ(LINEAR1_Deg(1.5f, x3, y2, ilastval), 15.0f);
  EXPECT_EQ(LINEAR1_Deg(2.5f, x3, y2, ilastval), 0.0f);  // beyond the two usable points
}

TEST_F(Linear1Deg, NaNAbscissaIsOutsideTheTable) {
  int ilastval = -999;
  EXPECT_EQ(LINEAR1_Deg(std::numeric_limits<float>::quiet_NaN(), x3, y3, ilastval), 0.0f);
  EXPECT_EQ(saved_bracket(), 1);
}

TEST_F(Linear1Deg, VerboseTraceBlock) {
  Console console = Console::capture();
  int ilastval = -999;
  EXPECT_EQ(LINEAR1_Deg(2.5f, x3, y3, ilastval, {&console, 1}), 25.0f);
  EXPECT_EQ(console.captured(),
            "    [LINEAR1_Deg]\n"
            "    ... nx_value: 2.5000 ==> ny_value: 25.0000\n"
            "    ... ilastnum: 2\n"
            "    ... ilastval: 1\n"
            "    [LINEAR1_Deg]\n");
}

TEST_F(Linear1Deg, VerboseOutOfRangeBlocks) {
  struct Case {
    float x;
    const char* numbers;
  };
  const Case cases[] = {
      {0.5f, "0.5000E+00 LT 0.1000E+01"},   // below: x LT x(1)
      {3.5f, "0.3000E+01 LT 0.3500E+01"},   // above: x(n) LT x
      {-2.5f, "-0.2500E+01 LT 0.1000E+01"},
  };
  for (const Case& c : cases) {
    Console console = Console::capture();
    int ilastval = -999;
    EXPECT_EQ(LINEAR1_Deg(c.x, x3, y3, ilastval, {&console, 1}), 0.0f);
    EXPECT_EQ(console.captured(), std::string("    [PROBLEM_BAS] @@@@@@@@@@@@@@@@@@@@@@@@\n"
                                              "    [LINEAR1_Deg] Out of allowed range @@@\n"
                                              "    [LINEAR1_Deg] ") +
                                      c.numbers +
                                      "\n"
                                      "    [LINEAR1_Deg] LINEAR1_Deg set = 0.0 @@\n");
  }
}

TEST_F(Linear1Deg, SilentUnlessTheFlagIsOne) {
  for (int flag : {0, 2, -1}) {
    Console console = Console::capture();
    int ilastval = -999;
    LINEAR1_Deg(2.5f, x3, y3, ilastval, {&console, flag});
    LINEAR1_Deg(9.5f, x3, y3, ilastval, {&console, flag});
    EXPECT_EQ(console.captured(), "") << flag;
  }
  int ilastval = -999;
  EXPECT_EQ(LINEAR1_Deg(9.5f, x3, y3, ilastval, {nullptr, 1}), 0.0f);
}

}  // namespace
}  // namespace veltrane
