// Numbers as text, shared by the readers of the text layer: the character classes of
// list-directed input, the syntax of a list-directed REAL(4) or INTEGER(4) token as gfortran
// 12.2 accepts it, and the correctly rounded conversion of a decimal text to REAL(4).
// Internal to src/textio: the readers' headers are the public surface.
#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace veltrane::textio::detail {

// What a character does in a list-directed record. A CR inside a record acts as a blank.
struct CharClass {
  bool blank = false;       // separates values: blank, TAB, CR
  bool ends_token = false;  // ends an unquoted value: the blanks, comma, semicolon, slash
};

inline constexpr std::array<CharClass, 256> kCharClasses = [] {
  std::array<CharClass, 256> t{};
  for (char c : {' ', '\t', '\r'}) t[static_cast<unsigned char>(c)] = {true, true};
  for (char c : {',', ';', '/'}) t[static_cast<unsigned char>(c)] = {false, true};
  return t;
}();

inline bool is_blank(char c) { return kCharClasses[static_cast<unsigned char>(c)].blank; }
inline bool ends_token(char c) { return kCharClasses[static_cast<unsigned char>(c)].ends_token; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool is_alnum(char c) { return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'z'); }

// The first position at or after i that is not a list-directed blank (r.size() at most).
inline std::size_t skip_blanks(std::string_view r, std::size_t i) {
  while (i < r.size() && is_blank(r[i])) ++i;
  return i;
}

// Case-insensitive (ASCII) comparisons.
bool equals_nocase(std::string_view s, std::string_view word);
bool starts_nocase(std::string_view s, std::string_view word);

// Correctly rounded REAL(4) value of a text already in C form ([-]digits[.digits][e[±]digits]).
// Out of range the result is ±Infinity or ±0.0, as gfortran gives, never an error. The common
// case is inline: it sits on the path of every list-directed real.
float c_text_to_float_out_of_range(const char* first, const char* last);
inline float c_text_to_float(const char* first, const char* last) {
  float v = 0.0f;
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec == std::errc() && ptr == last) return v;
  return c_text_to_float_out_of_range(first, last);
}

// The float nearest to digits × 10^k, when one double multiplication settles it: digits ≤
// 2^53 and |k| ≤ 22. With k ≥ 0 both factors are exact doubles, so d = RN64(digits × 10^k) is
// rounded once; float midpoints are doubles and RN64 is monotonic, so none lies between the
// exact value and d, and (float)d is the correctly rounded float unless d is itself a
// midpoint. With k < 0, d = RN64(digits × RN64(10^k)) (no division, which would hold up
// every number read): two roundings of half a unit in the last place each and the relative
// error of 10^k put d within two units of the exact value, and a midpoint between them would
// lie within two units of d in its binade (no midpoint lies within 2^28 units of a power of
// two, a float). A midpoint's last 29 bits are 0x10000000; d's within 4 of that go to the
// caller. False (v unchanged) for those, for results outside the normal floats (subnormal,
// overflow) and outside the ranges; the caller then converts the text.
static_assert(FLT_EVAL_METHOD == 0, "small_decimal_to_float needs its double operations rounded to double");
inline bool small_decimal_to_float(std::uint64_t digits, int k, bool neg, float& v) {
  static constexpr double kPowers[] = {
      1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8,
      1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,  1e7,
      1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21, 1e22};
  if (digits > (std::uint64_t{1} << 53) || k < -22 || k > 22) return false;
  const double d = static_cast<double>(digits) * kPowers[k + 22];
  const std::uint64_t last = std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFF;
  const std::uint64_t slack = k < 0 ? 4 : 0;  // units of d from a midpoint that send it back
  if (!(d >= static_cast<double>(std::numeric_limits<float>::min()) &&
        d <= static_cast<double>(std::numeric_limits<float>::max())) ||
      last + slack - 0x10000000 <= 2 * slack)
    return false;
  const float f = static_cast<float>(d);
  v = neg ? -f : f;
  return true;
}

// A text assembled for c_text_to_float: held in place up to 160 characters, spilling into a
// string only for longer ones (a number written with hundreds of digits).
class TextBuf {
 public:
  void push(char c) {
    if (n_ < sizeof small_) {
      small_[n_++] = c;
    } else {
      if (big_.empty()) big_.assign(small_, n_);
      big_.push_back(c);
      ++n_;
    }
  }
  void append(std::string_view s) {
    for (char c : s) push(c);
  }
  void append_int(long long x) {
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, x);
    append(std::string_view(tmp, static_cast<std::size_t>(r.ptr - tmp)));
  }
  const char* begin() const { return big_.empty() ? small_ : big_.data(); }
  const char* end() const { return begin() + n_; }

 private:
  char small_[160];
  std::size_t n_ = 0;
  std::string big_;
};

// How a token read as a number ended. cut: every character fits, but the number is
// unfinished (a sign alone, an exponent letter or sign without digits, a beginning of
// Infinity or NaN), which is an end of file where the file ends right after it.
enum class RealResult { ok, bad, dot_only, cut };
enum class IntResult { ok, bad, overflow, cut };

// A whole list-directed REAL(4) token (no separators in it): 1, 1., .5, 1e5, 1.0D5, 1.0q5,
// 1.0+5, Inf, Infinity, NaN, NaN(chars), with an optional sign. v is set only when ok.
// dot_only: a point and no digit (gfortran stores 0.0 and reports an error).
// after_point_count: the token follows a repeat count that was a lone point (".*"), so
// any point in it is a second point, and an error.
RealResult parse_real_token(std::string_view t, float& v, bool after_point_count = false);

// A whole list-directed INTEGER(4) token, [+-]digits; v is set only when ok. overflow: the
// digits exceed INTEGER(4) (-2147483648 is still read).
IntResult parse_int_digits(std::string_view t, std::int32_t& v);

}  // namespace veltrane::textio::detail
