// LINEAR1_Deg: worked values with the saved bracket and its reset argument (data file), and
// sweeps with the carried bracket against a fresh search written independently.
#include "numerics/interpolation.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <vector>

namespace veltrane {
namespace {

using Vec = std::vector<float>;

// The first interval [x(k), x(k+1)] holding x, the last one for x = x(n); 0 outside.
float fresh_value(const Vec& xs, const Vec& ys, float x) {
  const std::size_t n = xs.size();
  if (x < xs[0] || x > xs[n - 1]) return 0.0f;
  std::size_t k = 0;
  while (k + 2 < n && xs[k + 1] <= x) ++k;
  const float t = (x - xs[k]) / (xs[k + 1] - xs[k]);
  return (1.0f - t) * ys[k] + t * ys[k + 1];
}

TEST(Linear1Deg, WorkedValuesAndTheSavedBracket) {
  const std::map<std::string, std::pair<Vec, Vec>> tables = {
      {"t3", {{1, 2, 3}, {10, 20, 30}}},
      {"t5", {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}}},
      {"t8", {{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}}},
      {"bump", {{1, 5, 3, 4}, {10, 50, 30, 40}}},
      {"down", {{5, 1, 0}, {8, 4, 0}}},
      {"zig", {{1, 9, 2, 3, 10}, {10, 90, 20, 30, 100}}},
      {"one", {{2}, {2}}},
      {"none", {{}, {}}},
      {"short", {{1, 2, 3}, {10, 20}}}};
  std::ifstream in(std::string(VELTRANE_TEST_DATA) + "/numerics/data/interpolation.txt");
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream l(line);
    std::string table, x;
    int before = 0, ilastval = 0, after = 0, returned = 0;
    float y = 0;
    l >> table >> before >> ilastval >> x >> y >> after >> returned;
    const auto& [xs, ys] = tables.at(table);
    set_saved_bracket(before);
    EXPECT_EQ(LINEAR1_Deg(std::stof(x), xs, ys, ilastval), y) << line;
    EXPECT_EQ(saved_bracket(), after) << line;
    EXPECT_EQ(ilastval, returned) << line;
    ++cases;
  }
  EXPECT_EQ(cases, 23);
  set_saved_bracket(1);
}

// One reset before a sweep, then the carried bracket: the same values as a fresh search for
// every point, in increasing runs with jumps both ways and exact nodes now and then.
TEST(Linear1Deg, CarriedBracketAgreesWithAFreshSearch) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> step(0.01f, 3.0f), val(-50.0f, 50.0f);
  Vec xs, ys;
  for (float x = 100.0f; xs.size() < 500; x += step(rng)) {
    xs.push_back(x);
    ys.push_back(val(rng));
  }
  std::uniform_real_distribution<float> where(xs.front() - 20.0f, xs.back() + 20.0f);
  int ilastval = -999;
  for (int j = 0; j < 5000; ++j) {
    const float q = j % 7 == 0 ? xs[rng() % xs.size()] : j % 3 ? xs.front() + 0.37f * float(j % 1300) : where(rng);
    ASSERT_EQ(LINEAR1_Deg(q, xs, ys, ilastval), fresh_value(xs, ys, q)) << "x = " << q;
  }
  set_saved_bracket(1);
}

// The binary-search form for increasing tables: the same value, bracket and ilastval as the
// scans, from any saved bracket, on nodes, between them and outside.
TEST(Linear1Deg, IncreasingFormMatchesTheScansBitForBit) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<float> step(0.001f, 4.0f), val(-5.0f, 5.0f);
  for (int table = 0; table < 200; ++table) {
    Vec xs, ys;
    for (float x = 10.0f; xs.size() < 2 + rng() % 60; x += step(rng)) {
      xs.push_back(x);
      ys.push_back(table % 9 == 0 && rng() % 7 == 0 ? std::numeric_limits<float>::infinity() : val(rng));
    }
    for (int q = 0; q < 200; ++q) {
      const float x = q % 5 == 0 ? xs[rng() % xs.size()]
                      : q == 1   ? std::numeric_limits<float>::quiet_NaN()
                                 : xs.front() - 2.0f + (xs.back() - xs.front() + 4.0f) * float(rng() % 1000) / 999.0f;
      const int start = int(rng() % (xs.size() + 3)), reset = q % 3 == 0 ? -999 : 1;
      int a = reset, b = reset;
      set_saved_bracket(start);
      const float want = LINEAR1_Deg(x, xs, ys, a);
      const int bracket = saved_bracket();
      set_saved_bracket(start);
      const float got = LINEAR1_Deg_increasing(x, xs, ys, b);
      ASSERT_TRUE(std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(want) ||
                  (got != got && want != want))
          << x;
      ASSERT_EQ(saved_bracket(), bracket);
      ASSERT_EQ(b, a);
    }
  }
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
