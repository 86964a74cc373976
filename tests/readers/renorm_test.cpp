// StatsReNorm: the value of a base-grid curve at one wavelength. Expected values are worked
// out by hand on grids whose interpolation weights are exact in binary; the listing fields
// (f25.4, e25.4) come from gfortran 12.2 (tools/fprobe).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"
#include "numerics/interpolation.h"
#include "readers/ssp_base.h"

namespace veltrane {
namespace {

constexpr const char* kOrderReport =
    "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [StatsReNorm] λ is not in increasing @\n";
constexpr const char* kRangeReport =
    "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [StatsReNorm] λ is out of range @@@@@@\n";
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(StatsReNorm, InterpolatesOnTheGrid) {
  const std::vector<float> grid = {1000.0f, 2000.0f, 4000.0f, 5000.0f, 8000.0f};
  const std::vector<float> f = {1.0f, 3.0f, 2.0f, 4.0f, 10.0f};
  struct Case {
    float x, expected;
  };
  const Case cases[] = {
      {4500.0f, 3.0f},   // halfway between 2.0 and 4.0
      {1000.0f, 1.0f},   // first point
      {8000.0f, 10.0f},  // last point
      {2000.0f, 3.0f},   // an inner grid point
      {1250.0f, 1.5f},   // a quarter into the first interval
      {7250.0f, 8.5f},   // three quarters into the last
      {3000.0f, 2.5f},
  };
  for (const Case& c : cases) {
    Console console = Console::capture();
    int IsKeepOn = 1;
    EXPECT_EQ(StatsReNorm(console, c.x, grid, f, 0, IsKeepOn), c.expected) << c.x;
    EXPECT_EQ(IsKeepOn, 1) << c.x;
    EXPECT_EQ(console.captured(), "") << c.x;
  }
}

TEST(StatsReNorm, TwoPointGrid) {
  Console console = Console::capture();
  int IsKeepOn = 1;
  const std::vector<float> grid = {4000.0f, 5000.0f};
  const std::vector<float> f = {2.0f, 4.0f};
  EXPECT_EQ(StatsReNorm(console, 4500.0f, grid, f, 0, IsKeepOn), 3.0f);
}

// The search starts afresh whatever bracket an earlier sweep left behind.
TEST(StatsReNorm, IgnoresTheSavedBracket) {
  const std::vector<float> grid = {1.0f, 2.0f, 3.0f, 4.0f};
  const std::vector<float> f = {10.0f, 20.0f, 30.0f, 40.0f};
  for (int saved : {1, 3, 50, 9999}) {
    set_saved_bracket(saved);
    Console console = Console::capture();
    int IsKeepOn = 1;
    EXPECT_EQ(StatsReNorm(console, 1.5f, grid, f, 0, IsKeepOn), 15.0f) << saved;
    EXPECT_EQ(saved_bracket(), 1) << saved;
  }
}

TEST(StatsReNorm, Failures) {
  struct Case {
    std::vector<float> grid;
    float x;
    const char* report;
  };
  const std::vector<Case> cases = {
      {{4000.0f, 5000.0f}, std::nextafter(4000.0f, 0.0f), kRangeReport},
      {{4000.0f, 5000.0f}, std::nextafter(5000.0f, 1e9f), kRangeReport},
      {{4000.0f, 5000.0f, 5000.0f, 6000.0f}, 4500.0f, kOrderReport},  // equal neighbours
      {{4000.0f, 5000.0f, 4900.0f, 6000.0f}, 4500.0f, kOrderReport},
      {{4000.0f, 5000.0f, 5000.0f}, 9000.0f, kOrderReport},  // the order test comes first
      {{}, 4500.0f, kRangeReport},                            // no grid point
      {{4000.0f, 5000.0f}, kNaN, kRangeReport},
      {{4000.0f, kNaN, 6000.0f}, 4500.0f, kOrderReport},
  };
  for (const Case& c : cases) {
    const std::vector<float> f(c.grid.size(), 1.0f);
    for (int show : {0, 1}) {
      Console console = Console::capture();
      int IsKeepOn = 1;
      EXPECT_EQ(StatsReNorm(console, c.x, c.grid, f, show, IsKeepOn), -999.0f) << c.x;
      EXPECT_EQ(IsKeepOn, 0) << c.x;
      EXPECT_EQ(console.captured(), c.report) << c.x;  // no listing after a failure
    }
  }
}

TEST(StatsReNorm, SuccessLeavesAClearedStatusCleared) {
  Console console = Console::capture();
  int IsKeepOn = 0;
  const std::vector<float> grid = {4000.0f, 5000.0f};
  const std::vector<float> f = {2.0f, 4.0f};
  EXPECT_EQ(StatsReNorm(console, 4500.0f, grid, f, 0, IsKeepOn), 3.0f);
  EXPECT_EQ(IsKeepOn, 0);
}

TEST(StatsReNorm, Listing) {
  Console console = Console::capture();
  int IsKeepOn = 1;
  const std::vector<float> grid = {4000.0f, 5000.0f};
  const std::vector<float> f = {2.0f, 4.0f, 99.0f};  // only the grid's length is used
  EXPECT_EQ(StatsReNorm(console, 4500.0f, grid, f, 1, IsKeepOn), 3.0f);
  EXPECT_EQ(console.captured(),
            "    [StatsReNorm]\n"
            "    ... llow_lim: 4000.0000\n"
            "    ... lupp_lim: 5000.0000\n"
            "    ... S_ReNorm: 0.3000E+01\n"
            "    [StatsReNorm]\n");
  console.clear();
  StatsReNorm(console, 4500.0f, grid, f, 2, IsKeepOn);
  EXPECT_EQ(console.captured(), "");
}

}  // namespace
}  // namespace veltrane
