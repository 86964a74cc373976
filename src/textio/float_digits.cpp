// Why the digits are exact. A finite float is v = m × 2^e with integers m < 2^24 and
// -149 ≤ e ≤ 104, so v × 10^s is the rational m × 5^s × 2^(e+s) (s ≥ 0) or
// m × 2^(e-s') / 5^s' (s = -s' < 0). scale_pow10 forms that rational with integers only:
// the product m × 5^s exactly (in 128 bits, or 192 when s > 44), then either a right shift
// (the shifted-out bits are the remainder, compared with 2^(r-1)) or an integer division
// (the remainder compared with the divisor minus itself). Nothing is approximated, so
// floor(v × 10^s) and the position of the dropped fraction against one half are exact, and
// rounding to nearest with ties to even is a decision on exact data: the result is the
// correctly rounded one, as printf's.
//
// For p significant digits the decimal exponent k = floor(log10 v) is first estimated from
// the binary exponent: k0 = floor(e2 × log10 2) with 2^e2 ≤ v < 2^(e2+1), so k0 ≤ k ≤ k0 + 1.
// With s = p - 1 - k0 the scaled value lies in [10^(p-1), 10^(p+1)). If its floor has p + 1
// digits (k = k0 + 1), one more digit is dropped exactly: floor(w/10) = floor(floor(w)/10),
// and the new fraction (floor(w) mod 10 + frac(w)) / 10 is compared with one half through
// that digit and whether frac(w) was zero. Rounding up to 10^p means the value rounds to
// 10^(k+1): printf then shows 1.000…e(k+1), and so do we.
//
// This engine is the exact reference. The usual magnitudes take the shorter road of
// round_by_double (float_digits.h), which decides from one double product whenever the
// decision is certain and hands every other case (near ties, huge values) to this one.
#include "textio/float_digits.h"

#include <bit>

namespace veltrane::textio::detail {
namespace {

// The helpers below are forced inline so that the rounding functions keep their 128-bit
// values in registers.

// 5^0 … 5^55 (5^55 < 2^128 < 5^56).
constexpr auto kPow5 = [] {
  std::array<u128, 56> t{};
  u128 v = 1;
  for (auto& p : t) p = std::exchange(v, v * 5);
  return t;
}();

[[gnu::always_inline]] inline int bit_length(u128 v) {
  const auto hi = static_cast<std::uint64_t>(v >> 64);
  if (hi != 0) return 128 - std::countl_zero(hi);
  return 64 - std::countl_zero(static_cast<std::uint64_t>(v));
}

// The class of a remainder `rem` against `half` (a power of two: half the divisor).
[[gnu::always_inline]] inline Rest against_half(u128 rem, u128 half) {
  if (rem == 0) return Rest::zero;
  return rem < half ? Rest::below_half : rem == half ? Rest::half : Rest::above_half;
}

// floor(a / 2^r) with its rest, r ≥ 1.
[[gnu::always_inline]] inline Scaled shift_right(u128 a, int r) {
  if (r > 128) return {0, a == 0 ? Rest::zero : Rest::below_half};
  if (r == 128) return {0, against_half(a, u128{1} << 127)};
  return {a >> r, against_half(a & ((u128{1} << r) - 1), u128{1} << (r - 1))};
}

// floor(n / d) with its rest, d > 0.
[[gnu::always_inline]] inline Scaled divide(u128 n, u128 d) {
  u128 q = 0;
  u128 rem = 0;
  if ((n >> 64) == 0 && (d >> 64) == 0) {
    const auto n64 = static_cast<std::uint64_t>(n);
    const auto d64 = static_cast<std::uint64_t>(d);
    q = n64 / d64;
    rem = n64 % d64;
  } else {
    q = n / d;
    rem = n % d;
  }
  if (rem == 0) return {q, Rest::zero};
  const u128 other = d - rem;
  return {q, rem < other ? Rest::below_half : rem == other ? Rest::half : Rest::above_half};
}

// floor(P × 2^t) for P = top × 2^64 + low ≥ 2^128 (a 192-bit product).
std::optional<Scaled> scale_wide(u128 top, std::uint64_t low, int t) {
  if (t >= 0) return std::nullopt;
  const int r = -t;
  if (r >= 64) {
    Scaled v = r == 64 ? Scaled{top, against_half(low, u128{1} << 63)} : shift_right(top, r - 64);
    if (r > 64 && low != 0) {  // the low word lies below the half's bit
      if (v.rest == Rest::zero) v.rest = Rest::below_half;
      if (v.rest == Rest::half) v.rest = Rest::above_half;
    }
    return v;
  }
  if (bit_length(top) > 64 + r) return std::nullopt;
  const std::uint64_t mask = (std::uint64_t{1} << r) - 1;
  return Scaled{(top << (64 - r)) | (low >> r), against_half(low & mask, u128{1} << (r - 1))};
}

// scale_pow10, inlined into the rounding functions.
[[gnu::always_inline]] inline std::optional<Scaled> scale(std::uint32_t m, int e, int s) {
  if (s > 55 || s < -55) return std::nullopt;
  if (m == 0) return Scaled{0, Rest::zero};
  if (s >= 0) {
    const int t = e + s;  // m × 2^e × 10^s = m × 5^s × 2^t
    const u128 p5 = kPow5[static_cast<std::size_t>(s)];
    if (s <= 44) {  // m × 5^s < 2^24 × 2^103
      const u128 a = u128{m} * p5;
      if (t < 0) return shift_right(a, -t);
      if (bit_length(a) + t > 128) return std::nullopt;
      return Scaled{a << t, Rest::zero};
    }
    const u128 low = u128{m} * static_cast<std::uint64_t>(p5);
    const u128 top = u128{m} * static_cast<std::uint64_t>(p5 >> 64) + (low >> 64);
    if ((top >> 64) != 0) return scale_wide(top, static_cast<std::uint64_t>(low), t);
    const u128 a = (top << 64) | static_cast<std::uint64_t>(low);
    if (t < 0) return shift_right(a, -t);
    if (bit_length(a) + t > 128) return std::nullopt;
    return Scaled{a << t, Rest::zero};
  }
  const int q = -s;
  const int t = e - q;  // m × 2^e × 10^s = m × 2^t / 5^q
  const u128 p5 = kPow5[static_cast<std::size_t>(q)];
  if (t >= 0) {
    if (bit_length(m) + t > 128) return std::nullopt;
    return divide(u128{m} << t, p5);
  }
  // m / (5^q × 2^-t); a divisor of 2^126 or more exceeds 2m: the quotient is below one half.
  if (bit_length(p5) - t > 127) return Scaled{0, Rest::below_half};
  return divide(m, p5 << -t);
}

struct Binary {
  std::uint32_t m;
  int e;
};

// |x| = m × 2^e, x finite.
[[gnu::always_inline]] inline Binary decompose(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  const int biased = static_cast<int>(bits >> 23);
  if (biased == 0) return {bits, -149};
  return {(bits & 0x7FFFFFu) | 0x800000u, biased - 150};
}

}  // namespace

std::optional<Scaled> scale_pow10(std::uint32_t m, int e, int s) { return scale(m, e, s); }

Significant round_significant_exact(float x, int p) {
  const auto [m, e] = decompose(x);
  const int e2 = e + 31 - std::countl_zero(m);  // 2^e2 ≤ |x| < 2^(e2+1)
  int k = (e2 * 78913) >> 18;                   // floor(e2 × log10 2), exact for |e2| ≤ 200
  const Scaled w = *scale(m, e, p - 1 - k);     // in [10^(p-1), 10^(p+1)): never empty
  auto q = static_cast<std::uint64_t>(w.floor);
  Rest rest = w.rest;
  if (q >= kPow10[static_cast<std::size_t>(p)]) {
    const std::uint64_t digit = q % 10;
    q /= 10;
    ++k;
    if (digit > 5) rest = Rest::above_half;
    else if (digit == 5) rest = rest == Rest::zero ? Rest::half : Rest::above_half;
    else if (digit != 0 || rest != Rest::zero) rest = Rest::below_half;
  }
  auto n = static_cast<std::uint64_t>(round_half_even({q, rest}));
  if (n == kPow10[static_cast<std::size_t>(p)]) {
    n = kPow10[static_cast<std::size_t>(p - 1)];
    ++k;
  }
  return {static_cast<std::uint32_t>(n), k};
}

std::optional<u128> round_fixed(float x, int d) {
  double y = 0.0;
  std::uint64_t n = 0;
  if (d <= 60 && round_by_double(x, d, y, n)) return n;
  const auto [m, e] = decompose(x);
  const auto v = scale(m, e, d);
  if (!v) return std::nullopt;
  return round_half_even(*v);
}

}  // namespace veltrane::textio::detail
