// The fast writers against their literal (snprintf) forms, byte for byte, and the digit
// generator against glibc's printf, on floats where rounding is delicate and on random ones.
// (All 2^32 floats were compared once, offline, for the list form, e15.5 and f15.5.)
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "textio/float_digits.h"
#include "textio/format.h"

namespace {

using namespace veltrane::textio;

// Floats within a few ulps of each power of ten and of exact and nearest decimal ties of the
// 3- to 9-digit forms; then random bit patterns, wavelengths, fluxes and magnitudes.
std::vector<float> sample(int random_count) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<float> xs;
  const auto near = [&xs](double x, int ulps) {
    const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(x));
    for (int k = -ulps; k <= ulps; ++k) xs.push_back(std::bit_cast<float>(bits + k));
  };
  for (int j = -45; j <= 38; ++j) near(std::strtof(("1e" + std::to_string(j)).c_str(), nullptr), 4);
  for (int p : {3, 4, 5, 6, 9}) {
    for (int g = 1; g <= 30; ++g) {  // odd n × 2^-g is a p-digit tie when n × 5^g has p + 1 digits
      const double lo = std::ceil(std::pow(10.0, p) / std::pow(5.0, g)), hi = std::min(10 * lo, 0x1p24);
      for (int i = 0; lo < hi && i < 50; ++i)
        near(std::ldexp(2 * std::floor((lo + (hi - lo) * u(rng)) / 2) + 1, -g), 2);
    }
    for (int i = 0; i < 1000; ++i) {  // the floats nearest to (10d + 5) × 10^j
      const std::uint64_t d = detail::kPow10[p - 1] * (1 + rng() % 9) + rng() % detail::kPow10[p - 1];
      const int j = static_cast<int>(rng() % 84) - 45 - p;
      near(std::strtof((std::to_string(10 * d + 5) + "e" + std::to_string(j)).c_str(), nullptr), 2);
    }
  }
  for (int i = 0; i < random_count; ++i) {  // bits; 100 to 1e5; 1e-25 to 1e-10; -50 to 50
    const double r = u(rng), v[] = {0.0, 100.0 * std::pow(1e3, r), 1e-25 * std::pow(1e15, r), 100.0 * r - 50.0};
    xs.push_back(i % 4 == 0 ? std::bit_cast<float>(static_cast<std::uint32_t>(rng()))
                            : static_cast<float>(i % 8 < 4 ? v[i % 4] : -v[i % 4]));
  }
  return xs;
}

TEST(FastWriters, MatchTheLiteralWritersByteForByte) {
  const int e_forms[][2] = {{15, 5}, {15, 3}, {14, 4}, {15, 4}, {25, 4}, {25, 6}, {8, 1}};
  const int f_forms[][2] = {{15, 5}, {15, 3}, {15, 4}, {15, 6}, {15, 8},  {8, 3},
                            {10, 1}, {25, 4}, {25, 5}, {15, 0}, {40, 25}, {5, 4}};  // f5.4: .5000, *****
  const std::vector<float> xs = sample(120000);
  std::string in_place(17 * xs.size(), '?');
  ASSERT_EQ(put_list_record(in_place.data(), xs), in_place.data() + in_place.size());
  std::string literal_record;
  for (float x : xs) literal_record += " " + detail::list_real_literal(x);
  ASSERT_EQ(in_place, literal_record);
  for (float x : xs) {
    ASSERT_EQ(list_real(x), detail::list_real_literal(x)) << std::hexfloat << x;
    for (auto [w, d] : e_forms) ASSERT_EQ(fmt_e(x, w, d), detail::fmt_e_literal(x, w, d)) << std::hexfloat << x;
    for (auto [w, d] : f_forms) ASSERT_EQ(fmt_f(x, w, d), detail::fmt_f_literal(x, w, d)) << std::hexfloat << x;
  }
}

// Whole tables, eight values at a time where the CPU has AVX2 and one by one: the bytes of
// the literal writer's records, whatever the record length and wherever the values that the
// vector path hands back (infinities, NaN, subnormals, huge values, near ties) fall among
// the others; zeros of either sign mixed in.
TEST(FastWriters, TablesMatchTheLiteralRecords) {
  std::vector<float> xs = sample(40000);
  for (std::size_t i = 0; i < xs.size(); i += 7) xs[i] = (i % 14 == 0) ? 0.0f : -0.0f;
  // The same values without those the vector path hands back, so that it writes them all.
  std::vector<float> usual;
  for (float x : xs)
    if (x == 0.0f || (std::isnormal(x) && std::fabs(x) < 1e8f)) usual.push_back(x);
  xs.insert(xs.end(), usual.begin(), usual.end());
  for (std::size_t per_record : {1u, 3u, 8u, 9u, 64u, 65u}) {
    const std::size_t n = xs.size() / per_record * per_record;
    const std::span<const float> values(xs.data(), n);
    std::string literal;
    for (std::size_t r = 0; r < n; r += per_record) {
      for (std::size_t j = r; j < r + per_record; ++j) literal += " " + detail::list_real_literal(xs[j]);
      literal += "\n";
    }
    std::string fast(literal.size(), '?'), one_by_one(literal.size(), '?');
    ASSERT_EQ(put_list_table(fast.data(), values, per_record), fast.data() + fast.size());
    ASSERT_EQ(detail::put_list_table_one_by_one(one_by_one.data(), values, per_record),
              one_by_one.data() + one_by_one.size());
    for (std::size_t at = 0; at < literal.size(); at += 17 * per_record + 1)
      ASSERT_EQ(fast.substr(at, 17 * per_record + 1), literal.substr(at, 17 * per_record + 1))
          << per_record << " " << at;
    ASSERT_EQ(one_by_one, literal) << per_record;
  }
}

// The double-product road of the digit engine against the exact integer engine, for every
// precision and fixed-point scale the writers use: the sampled floats, and a sweep through all
// bit patterns in steps of 4099 (about a million floats of every exponent). (All 2^32 floats
// were compared once, offline, for 9, 5 and 3 digits and for 1, 5 and 8 decimals.)
TEST(FloatDigits, DoubleRoadMatchesTheExactEngine) {
  std::vector<float> xs = sample(20000);
  for (std::uint64_t b = 1; b < 0x7F800000; b += 4099)
    xs.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(b)));
  for (float x : xs) {
    for (int p = 1; p <= 9; ++p) {
      if (x == 0.0f || !std::isfinite(x)) continue;
      const auto fast = detail::round_significant(x, p), exact = detail::round_significant_exact(x, p);
      ASSERT_TRUE(fast.digits == exact.digits && fast.exp10 == exact.exp10) << std::hexfloat << x << " p=" << p;
    }
    for (int d : {0, 1, 5, 8, 19}) {
      if (!std::isfinite(x)) continue;
      const std::uint32_t mag = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
      const bool normal = mag >= 0x800000u;
      const auto exact = detail::scale_pow10(normal ? (mag & 0x7FFFFFu) | 0x800000u : mag,
                                             normal ? static_cast<int>(mag >> 23) - 150 : -149, d);
      const auto fast = detail::round_fixed(x, d);
      ASSERT_EQ(fast.has_value(), exact.has_value()) << std::hexfloat << x << " d=" << d;
      ASSERT_TRUE(!fast || *fast == detail::round_half_even(*exact)) << std::hexfloat << x << " d=" << d;
    }
  }
}

// floor(m × 2^e × 10^s) and its rest against the exact expansion of m × 2^e, which "%.149f"
// prints in full (here with 60 integer digits, so that s may move the point 55 places).
TEST(FloatDigits, ScaleByPowersOfTenExactly) {
  std::mt19937_64 rng(5);
  char buf[220];
  for (int i = 0; i < 100000; ++i) {
    const auto m = static_cast<std::uint32_t>(rng() % (1u << (rng() % 25)));
    const int e = static_cast<int>(rng() % 254) - 149, s = static_cast<int>(rng() % 111) - 55;
    std::snprintf(buf, sizeof buf, "%0210.149f", std::ldexp(m, e));
    std::string digits = std::string(buf).erase(60, 1), frac = digits.substr(60 + s), got_whole;
    frac.erase(frac.find_last_not_of('0') + 1);  // the dropped fraction's digits, compared with "5"
    const std::string whole = digits.substr(0, 60 + s).erase(0, digits.find_first_not_of('0'));
    const auto got = detail::scale_pow10(m, e, s);
    for (detail::u128 q = got ? got->floor : 0; q != 0; q /= 10)
      got_whole.insert(0, 1, static_cast<char>('0' + q % 10));
    using enum detail::Rest;
    const auto rest = frac.empty() ? zero : frac < "5" ? below_half : frac == "5" ? half : above_half;
    ASSERT_EQ(!got, whole.size() > 39 || (whole.size() == 39 && whole >= "340282366920938463463374607431768211456"));
    ASSERT_TRUE(!got || (got_whole == whole && got->rest == rest)) << m << " " << e << " " << s;
  }
}

}  // namespace
