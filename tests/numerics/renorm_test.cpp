// StatsReNorm: values on grids whose interpolation weights are exact in binary, and the two
// failures (a NaN anywhere breaks the order, a NaN wavelength lies outside the grid).
#include "numerics/renorm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "numerics/interpolation.h"

namespace veltrane {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const std::string kOrder = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [StatsReNorm] λ is not in increasing @\n";
const std::string kRange = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [StatsReNorm] λ is out of range @@@@@@\n";

TEST(StatsReNorm, ValuesAndFailures) {
  const std::vector<float> g5 = {1000, 2000, 4000, 5000, 8000}, f5 = {1, 3, 2, 4, 10};
  const struct {
    std::vector<float> grid, f;
    float x, want;
    const std::string* report;
  } cases[] = {{g5, f5, 4500, 3, nullptr},
               {g5, f5, 1000, 1, nullptr},
               {g5, f5, 8000, 10, nullptr},
               {g5, f5, 2000, 3, nullptr},
               {g5, f5, 1250, 1.5, nullptr},
               {g5, f5, 7250, 8.5, nullptr},
               {{4000, 5000}, {2, 4, 99}, 4500, 3, nullptr},  // only the grid's length counts
               {{4000, 5000}, {1, 1}, std::nextafter(4000.0f, 0.0f), -999, &kRange},
               {{4000, 5000}, {1, 1}, std::nextafter(5000.0f, 1e9f), -999, &kRange},
               {{4000, 5000, 5000, 6000}, {1, 1, 1, 1}, 4500, -999, &kOrder},  // equal neighbours
               {{4000, 5000, 4900, 6000}, {1, 1, 1, 1}, 4500, -999, &kOrder},
               {{4000, 5000, 5000}, {1, 1, 1}, 9000, -999, &kOrder},  // the order test comes first
               {{}, {}, 4500, -999, &kRange},
               {{4000, 5000}, {1, 1}, kNaN, -999, &kRange},
               {{4000, kNaN, 6000}, {1, 1, 1}, 4500, -999, &kOrder},
               {{kNaN}, {1}, 4500, -999, &kRange}};
  for (const auto& c : cases)
    for (bool failed_before : {true, false})
      for (bool checked_once : {false, true}) {  // the grid checked at each call, or once (BaseGrid)
        CapturedReport report;
        if (failed_before) report.status.fail({});
        set_saved_bracket(failed_before ? 2 : 50);  // a fresh search whatever an earlier sweep left
        const float got = checked_once ? StatsReNorm(report.context, c.x, BaseGrid(c.grid), c.f)
                                       : StatsReNorm(report.context, c.x, c.grid, c.f);
        EXPECT_EQ(got, c.want) << c.x;
        EXPECT_EQ(report.status.failed(), c.report != nullptr || failed_before) << c.x;
        EXPECT_EQ(report.console.captured(), c.report ? *c.report : "") << c.x;
      }
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
