// Exact decimal digits of a REAL(4) value: the engine of the F, E and list-directed writers.
// Every result is the exact binary value rounded to nearest with ties to even, which is what
// glibc's printf gives for the float widened to double. Integer arithmetic only; no tables
// of approximations, so no case needs a fix-up.
#pragma once

#include <array>
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
// x finite and nonzero, 1 ≤ p ≤ 9.
struct Significant {
  std::uint32_t digits;
  int exp10;
};
Significant round_significant(float x, int p);

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

}  // namespace veltrane::textio::detail
