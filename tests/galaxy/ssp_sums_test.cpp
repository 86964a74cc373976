// The SSP sums' fast forms (skipped zero weights, a term shared by two sums, eight or four
// points at a time) against the literal sums, bit for bit: random fluxes (some with NaN,
// infinities, zeros and subnormals), weights shared with the young or the old sum or not,
// weights of ±0, normalisations of 0 and NaN, lengths that leave a tail. A NaN matches any
// NaN: its sign follows the operand order the compiler picks for a commutative sum, which an
// unoptimised build picks otherwise, and every table prints it as NaN.
#include "galaxy/ssp_sums.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace veltrane {
namespace {

using V = std::vector<float>;

TEST(SspSums, FastFormsMatchTheLiteralSums) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1.0f, 3.0f);
  const float specials[] = {0.0f, -0.0f, 1e-40f, std::numeric_limits<float>::infinity(), std::nanf("")};
  for (int round = 0; round < 400; ++round) {
    const std::size_t n = 1 + rng() % 70;
    V sums[2][3];
    for (auto& set : sums)
      for (V& s : set) s.assign(n + 3, 0.0f);  // a sum longer than the spectrum keeps its tail
    for (int ssp = 0; ssp < 6; ++ssp) {
      V f(n);
      for (float& x : f) x = rng() % 40 == 0 ? specials[rng() % 5] : u(rng);
      bool finite = true;
      for (float x : f) finite = finite && std::isfinite(x);
      const float x = rng() % 5 == 0 ? (rng() % 2 ? 0.0f : -0.0f) : std::abs(u(rng)) * 30.0f;
      const float all = x / 100.0f;
      SspWeights w{all, 0.0f, 0.0f};
      switch (rng() % 4) {
        case 0: w.young = all; break;
        case 1: w.old = all; break;
        case 2: w.young = w.old = all; break;
        default: w.young = all * 0.5f; break;  // weights that are not copies: nothing shared
      }
      const float S = rng() % 10 == 0 ? (rng() % 2 ? 0.0f : std::nanf("")) : 0.1f + std::abs(u(rng));
      for (int literal = 0; literal < 2; ++literal)
        add_ssp(sums[literal][0], sums[literal][1], sums[literal][2], f, w, S, finite, literal == 1);
    }
    for (std::size_t k = 0; k < 3; ++k)
      for (std::size_t i = 0; i < n + 3; ++i) {
        const float fast = sums[0][k][i], literal = sums[1][k][i];
        if (std::isnan(fast) && std::isnan(literal)) continue;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(fast), std::bit_cast<std::uint32_t>(literal))
            << round << " sum " << k << " point " << i;
      }
  }
}

}  // namespace
}  // namespace veltrane
