#include "textio/number_text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace veltrane::textio::detail {
namespace {

// List-directed Inf, Infinity, NaN and NaN(chars), case-insensitive; the chars may be
// anything but ')'.
bool parse_list_special(std::string_view w, bool neg, float& v) {
  if (equals_nocase(w, "inf") || equals_nocase(w, "infinity")) {
    v = neg ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return true;
  }
  const bool nan =
      equals_nocase(w, "nan") || (w.size() >= 5 && equals_nocase(w.substr(0, 4), "nan(") && w.back() == ')' &&
                                  w.substr(4, w.size() - 5).find(')') == std::string_view::npos);
  if (!nan) return false;
  v = std::copysign(std::numeric_limits<float>::quiet_NaN(), neg ? -1.0f : 1.0f);
  return true;
}

// A beginning of Infinity or NaN that more characters could complete ("in", "infin", "na",
// "nan(ab"); w is not itself a valid special.
bool is_special_prefix(std::string_view w) {
  if (w.empty()) return false;
  if (w.size() < 8 && starts_nocase("infinity", w)) return true;
  if (w.size() < 3 && starts_nocase("nan", w)) return true;
  return starts_nocase(w, "nan(") && w.find(')') == std::string_view::npos;
}

// The mantissa of a number, digits with an optional point, scanned from `i` (moved past it).
struct Mantissa {
  std::size_t digits = 0;
  bool point = false;
};
Mantissa scan_mantissa(std::string_view t, std::size_t& i) {
  Mantissa m;
  while (i < t.size() && is_digit(t[i])) ++i, ++m.digits;
  if (i < t.size() && t[i] == '.') {
    m.point = true;
    ++i;
    while (i < t.size() && is_digit(t[i])) ++i, ++m.digits;
  }
  return m;
}

// The value of a checked token with few digits, straight from its digits: the mantissa
// t[begin, end) (digits and at most one point) and the exponent digits from exp_begin (none
// when exp_begin is t.size()). False when small_decimal_to_float cannot settle it.
bool small_decimal(std::string_view t, std::size_t begin, std::size_t end, std::size_t exp_begin, bool exp_neg,
                   bool neg, float& v) {
  std::uint64_t digits = 0;
  int count = 0, fraction = 0;
  bool point = false;
  for (std::size_t i = begin; i < end; ++i) {
    if (t[i] == '.') {
      point = true;
      continue;
    }
    if (++count > 19) return false;
    digits = digits * 10 + static_cast<unsigned>(t[i] - '0');
    fraction += point ? 1 : 0;
  }
  int exponent = 0;
  for (std::size_t i = exp_begin; i < t.size(); ++i)
    if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
  if (digits == 0) {
    v = neg ? -0.0f : 0.0f;
    return true;
  }
  return small_decimal_to_float(digits, (exp_neg ? -exponent : exponent) - fraction, neg, v);
}

}  // namespace

bool equals_nocase(std::string_view s, std::string_view word) {
  if (s.size() != word.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (lower(s[i]) != lower(word[i])) return false;
  return true;
}

bool starts_nocase(std::string_view s, std::string_view word) {
  return s.size() >= word.size() && equals_nocase(s.substr(0, word.size()), word);
}

// What std::from_chars refuses: it leaves the value unchanged out of range, where gfortran
// gives ±Inf or ±0; strtof (never its errno, which also flags subnormals) settles those.
float c_text_to_float_out_of_range(const char* first, const char* last) {
  const std::size_t n = static_cast<std::size_t>(last - first);
  char small[128];
  std::string big;
  char* buf = small;
  if (n >= sizeof small) {
    big.assign(first, n);
    buf = big.data();
  } else {
    std::memcpy(small, first, n);
    small[n] = '\0';
  }
  return std::strtof(buf, nullptr);
}

// The syntax is checked first, then the text converted: as it stands when it is already in C
// form, otherwise rewritten as [-]mantissa[e±digits] (a '+' sign dropped, D or Q or a bare
// exponent sign turned into e).
RealResult parse_real_token(std::string_view t, float& v, bool after_point_count) {
  const std::size_t n = t.size();
  std::size_t i = 0;
  bool neg = false, plus = false;
  if (i < n && (t[i] == '+' || t[i] == '-')) {
    neg = t[i] == '-';
    plus = !neg;
    ++i;
  }
  if (i == n) return RealResult::cut;
  if (lower(t[i]) == 'i' || lower(t[i]) == 'n') {
    if (parse_list_special(t.substr(i), neg, v)) return RealResult::ok;
    return is_special_prefix(t.substr(i)) ? RealResult::cut : RealResult::bad;
  }
  const std::size_t mant_begin = i;
  const Mantissa m = scan_mantissa(t, i);
  if (m.point && after_point_count) return RealResult::bad;
  const std::size_t mant_end = i;
  bool c_form = !plus;  // from_chars takes the token as it is
  std::size_t exp_digits_begin = n;
  char exp_sign = '+';
  if (i < n) {
    const char c = lower(t[i]);
    if (c == 'e' || c == 'd' || c == 'q') {
      c_form = c_form && c == 'e';
      ++i;
      if (i < n && (t[i] == '+' || t[i] == '-')) exp_sign = t[i++];
    } else if (c == '+' || c == '-') {
      c_form = false;
      exp_sign = t[i++];
    } else {
      return RealResult::bad;
    }
    exp_digits_begin = i;
    if (i == n) return m.digits > 0 || m.point ? RealResult::cut : RealResult::bad;
    while (i < n && is_digit(t[i])) ++i;
    if (i != n) return RealResult::bad;
  }
  if (m.digits == 0) return m.point ? RealResult::dot_only : RealResult::bad;
  if (small_decimal(t, mant_begin, mant_end, exp_digits_begin, exp_sign == '-', neg, v)) return RealResult::ok;
  if (c_form) {
    v = c_text_to_float(t.data(), t.data() + n);
    return RealResult::ok;
  }
  TextBuf b;
  if (neg) b.push('-');
  b.append(t.substr(mant_begin, mant_end - mant_begin));
  if (exp_digits_begin < n) {
    b.push('e');
    b.push(exp_sign);
    b.append(t.substr(exp_digits_begin));
  }
  v = c_text_to_float(b.begin(), b.end());
  return RealResult::ok;
}

IntResult parse_int_digits(std::string_view t, std::int32_t& v) {
  std::size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  if (i == t.size()) return i > 0 ? IntResult::cut : IntResult::bad;
  const std::int64_t limit = neg ? std::int64_t{2147483648} : std::int64_t{2147483647};
  std::int64_t x = 0;
  bool over = false;
  for (; i < t.size(); ++i) {
    if (!is_digit(t[i])) return IntResult::bad;
    if (!over) {
      x = x * 10 + (t[i] - '0');
      over = x > limit;
    }
  }
  if (over) return IntResult::overflow;
  v = static_cast<std::int32_t>(neg ? -x : x);
  return IntResult::ok;
}

}  // namespace veltrane::textio::detail
