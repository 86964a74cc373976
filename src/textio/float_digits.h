// Exact decimal digits of a REAL(4) value: the engine of the F, E and list-directed writers.
// Every result is the exact binary value rounded to nearest with ties to even, which is what
// glibc's printf gives for the float widened to double. The reference engine uses integer
// arithmetic only; the usual magnitudes take a double product first and keep its answer
// only when the error bound proves it (round_by_double), so no case needs a fix-up.
#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

namespace veltrane::textio::detail {

using u128 = unsigned __int128;

// Where the dropped fraction of a quotient lies: none, below one half, one half, above.
enum class Rest : std::uint8_t { zero, below_half, half, above_half };

// floor(v) and the class of v - floor(v).
struct Scaled {
  u128 floor;
  Rest rest;
};

// v = m × 2^e × 10^s exactly (m < 2^24, -149 ≤ e ≤ 104, |s| ≤ 55): floor(v) and its rest;
// nullopt when floor(v) would not fit in 128 bits.
std::optional<Scaled> scale_pow10(std::uint32_t m, int e, int s);

// The integer nearest to a scaled value, ties to even.
constexpr u128 round_half_even(Scaled v) {
  const bool up = v.rest == Rest::above_half || (v.rest == Rest::half && (v.floor & 1) != 0);
  return v.floor + (up ? 1 : 0);
}

// |x| rounded to p significant digits: |x| ≈ digits × 10^(exp10 - p + 1) with
// 10^(p-1) ≤ digits < 10^p; exp10 is the exponent printf("%.*e", p - 1, |x|) shows.
// x finite and nonzero, 1 ≤ p ≤ 9. round_significant_exact works on scale_pow10 for every
// float; round_significant (below) takes a shorter road for the usual magnitudes and gives
// the same results (tests compare the two).
struct Significant {
  std::uint32_t digits;
  int exp10;
};
Significant round_significant_exact(float x, int p);
inline Significant round_significant(float x, int p);

// |x| × 10^d rounded to an integer (what printf("%.*f", d, |x|) shows, without its point);
// x finite, 0 ≤ d ≤ 44. nullopt when |x| × 10^d ≥ 2^128.
std::optional<u128> round_fixed(float x, int d);

// Powers of ten as 64-bit integers, 10^0 … 10^19.
inline constexpr auto kPow10 = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t v = 1;
  for (auto& p : t) p = std::exchange(v, v * 10);
  return t;
}();

// 10^0 … 10^60 as the nearest doubles (exact up to 10^22).
inline constexpr double kPow10Double[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12,
                                          1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23, 1e24, 1e25,
                                          1e26, 1e27, 1e28, 1e29, 1e30, 1e31, 1e32, 1e33, 1e34, 1e35, 1e36, 1e37, 1e38,
                                          1e39, 1e40, 1e41, 1e42, 1e43, 1e44, 1e45, 1e46, 1e47, 1e48, 1e49, 1e50, 1e51,
                                          1e52, 1e53, 1e54, 1e55, 1e56, 1e57, 1e58, 1e59, 1e60};

// |x| × 10^s (0 ≤ s ≤ 60) rounded to an integer n, to nearest with ties to even, when that
// can be decided from the double y = RN(|x| × RN(10^s)); false when it cannot, or when
// y ≥ 2^34. Why this is exact: |x| is exact in a double and each of the two roundings errs by
// at most 2^-53 relatively, so y is within 2^-52 × 2^34 = 2^-18 of the exact value. The
// integer part q = floor(y) and the fraction f = y - q (an exact subtraction) then round as
// the exact value does unless f lies within 2^-17 of one half, where an exact tie may hide:
// there the caller turns to the exact integer engine.
static_assert(FLT_EVAL_METHOD == 0, "round_by_double's bound needs each double operation rounded to double");
[[gnu::always_inline]] inline bool round_by_double(float x, int s, double& y, std::uint64_t& n) {
  y = static_cast<double>(std::fabs(x)) * kPow10Double[s];
  if (!(y < 0x1p34)) return false;
  const auto q = static_cast<std::int64_t>(y);  // signed: one instruction each way
  const double f = y - static_cast<double>(q);
  n = static_cast<std::uint64_t>(q) + (f > 0.5 ? 1 : 0);
  return std::fabs(f - 0.5) > 0x1p-17;  // no branch on f, which is unpredictable
}

// With k0 = floor(e2 × log10 2) from the binary exponent, s = p - 1 - k0 puts |x| × 10^s in
// [10^(p-1), 10^(p+1)); a product of p + 1 digits means k = k0 + 1, and |x| × 10^(s-1) is
// used instead. Both products are formed and one chosen, with no branch on which: the
// estimate k0 is short by one for about a third of all values, at random. (10^-1 is not
// exact in a double; neither are the powers above 10^22: round_by_double's bound allows for
// that rounding.) Outside 0 ≤ s ≤ 60, and for near ties, round_significant_exact.
[[gnu::always_inline]] inline Significant round_significant(float x, int p) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  const int biased = static_cast<int>(bits >> 23);
  const int e2 = biased != 0 ? biased - 127 : -118 - std::countl_zero(bits);  // 2^e2 ≤ |x| < 2^(e2+1)
  int k = (e2 * 78913) >> 18;  // floor(e2 × log10 2), exact for |e2| ≤ 200
  const int s = p - 1 - k;
  if (s < 0 || s > 60) return round_significant_exact(x, p);
  const std::uint64_t top = kPow10[static_cast<std::size_t>(p)];
  const double ax = static_cast<double>(std::fabs(x));
  const double y_at_s = ax * kPow10Double[s];
  const double y_below = ax * (s > 0 ? kPow10Double[s - 1] : 0.1);
  const bool longer = y_at_s >= static_cast<double>(top);
  const double y = std::bit_cast<double>(longer ? std::bit_cast<std::uint64_t>(y_below)  // a select, not a jump
                                                : std::bit_cast<std::uint64_t>(y_at_s));
  k += longer ? 1 : 0;
  const auto q = static_cast<std::int64_t>(y);  // y below about 10^p < 2^34: round_by_double's bound holds
  const double f = y - static_cast<double>(q);
  std::uint64_t n = static_cast<std::uint64_t>(q) + (f > 0.5 ? 1 : 0);
  if (!(std::fabs(f - 0.5) > 0x1p-17)) return round_significant_exact(x, p);
  if (n == top) {
    n = kPow10[static_cast<std::size_t>(p - 1)];
    ++k;
  }
  return {static_cast<std::uint32_t>(n), k};
}

}  // namespace veltrane::textio::detail
