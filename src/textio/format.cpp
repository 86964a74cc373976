#include "textio/format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textio/float_digits.h"
#include "textio/text_length.h"

namespace veltrane::textio {
namespace {

using detail::kPow10;
using detail::u128;

// "00" "01" … "99".
constexpr auto kDigitPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// The n lowest decimal digits of v, zero-padded, ending just before `end`; returns their start.
char* put_digits(char* end, std::uint64_t v, int n) {
  for (; n >= 2; n -= 2) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[static_cast<std::size_t>(2 * (v % 100))], 2);
    v /= 100;
  }
  if (n == 1) *--end = static_cast<char>('0' + v % 10);
  return end;
}

// The nine digits of v < 10^9, zero-padded, at p (two independent halves of four).
void put_9_digits(char* p, std::uint32_t v) {
  const std::uint32_t low8 = v % 100000000;
  const std::uint32_t a = low8 / 10000;
  const std::uint32_t b = low8 % 10000;
  p[0] = static_cast<char>('0' + v / 100000000);
  std::memcpy(p + 1, &kDigitPairs[2 * (a / 100)], 2);
  std::memcpy(p + 3, &kDigitPairs[2 * (a % 100)], 2);
  std::memcpy(p + 5, &kDigitPairs[2 * (b / 100)], 2);
  std::memcpy(p + 7, &kDigitPairs[2 * (b % 100)], 2);
}

// The decimal text of v (at least one digit), ending just before `end`; returns its start.
char* put_uint(char* end, u128 v) {
  constexpr std::uint64_t kE19 = kPow10[19];
  while ((v >> 64) != 0) {
    const u128 q = v / kE19;
    end = put_digits(end, static_cast<std::uint64_t>(v - q * kE19), 19);
    v = q;
  }
  auto w = static_cast<std::uint64_t>(v);
  for (; w >= 100; w /= 100) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[static_cast<std::size_t>(2 * (w % 100))], 2);
  }
  if (w >= 10) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[static_cast<std::size_t>(2 * w)], 2);
  } else {
    *--end = static_cast<char>('0' + w);
  }
  return end;
}

// "E+dd" / "E-dd" at p (float exponents have two digits).
void put_exponent(char* p, int e) {
  p[0] = 'E';
  p[1] = e < 0 ? '-' : '+';
  std::memcpy(p + 2, &kDigitPairs[static_cast<std::size_t>(2 * std::abs(e))], 2);
}

// Appends [-]body right-justified in w columns. When one column short, a body "0.…" loses
// its 0 (if may_drop_zero); a text that still does not fit becomes w asterisks.
void put_field(std::string& out, int w, bool neg, const char* body, int len, bool may_drop_zero) {
  const int sign = neg ? 1 : 0;
  if (sign + len > w && may_drop_zero && len > 1 && body[0] == '0' && body[1] == '.') {
    ++body;
    --len;
  }
  const std::size_t old = out.size();
  out.resize(old + static_cast<std::size_t>(w));
  char* f = out.data() + old;
  const int total = sign + len;
  if (total > w) {
    std::memset(f, '*', static_cast<std::size_t>(w));
    return;
  }
  std::memset(f, ' ', static_cast<std::size_t>(w - total));
  if (neg) f[w - total] = '-';
  std::memcpy(f + (w - len), body, static_cast<std::size_t>(len));
}

bool is_finite(float x) { return (std::bit_cast<std::uint32_t>(x) & 0x7F800000u) != 0x7F800000u; }
bool sign_bit(float x) { return (std::bit_cast<std::uint32_t>(x) >> 31) != 0; }

}  // namespace

std::string fmt_i(std::int32_t v, int w) {
  char buf[16];
  const std::string_view text(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
  if (static_cast<int>(text.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  std::string out(static_cast<std::size_t>(w) - text.size(), ' ');
  out.append(text);
  return out;
}

void append_f(std::string& out, float x, int w, int d) {
  if (w < 1 || d < 0 || d > 19 || !is_finite(x)) {
    out += detail::fmt_f_literal(x, w, d);
    return;
  }
  const auto n = detail::round_fixed(x, d);
  if (!n) {
    // |x| × 10^d ≥ 2^128: at least 39 - d integer digits, a text of 40 or more.
    if (w < 40) out.append(static_cast<std::size_t>(w), '*');
    else out += detail::fmt_f_literal(x, w, d);
    return;
  }
  char buf[48];
  char* const end = buf + sizeof buf;
  char* p = end;
  u128 int_part = 0;
  if ((*n >> 64) == 0) {
    const auto v = static_cast<std::uint64_t>(*n);
    int_part = v / kPow10[static_cast<std::size_t>(d)];
    p = put_digits(p, v % kPow10[static_cast<std::size_t>(d)], d);
  } else {
    int_part = *n / kPow10[static_cast<std::size_t>(d)];
    p = put_digits(p, static_cast<std::uint64_t>(*n % kPow10[static_cast<std::size_t>(d)]), d);
  }
  *--p = '.';
  p = put_uint(p, int_part);
  put_field(out, w, sign_bit(x), p, static_cast<int>(end - p), d > 0);
}

void append_e(std::string& out, float x, int w, int d) {
  if (w < 1 || d < 1 || d > 9 || !is_finite(x)) {
    out += detail::fmt_e_literal(x, w, d);
    return;
  }
  char body[16];  // 0.d…dE±xx
  body[0] = '0';
  body[1] = '.';
  int exponent = 0;
  if ((std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu) == 0) {
    std::memset(body + 2, '0', static_cast<std::size_t>(d));
  } else {
    const auto [n, k] = detail::round_significant(x, d);
    char nine[9];
    put_9_digits(nine, n);
    std::memcpy(body + 2, nine + 9 - d, static_cast<std::size_t>(d));
    exponent = k + 1;
  }
  put_exponent(body + 2 + d, exponent);
  put_field(out, w, sign_bit(x), body, d + 6, true);
}

void append_list_real(std::string& out, float x) {
  char record[17];
  put_list_record(record, std::span<const float>(&x, 1));
  out.append(record + 1, 16);  // the field without the blank before it
}

void append_list_record(std::string& out, std::span<const float> values) {
  const std::size_t old = out.size();
  out.resize(old + 17 * values.size());
  put_list_record(out.data() + old, values);
}

std::string fmt_f(float x, int w, int d) {
  std::string out;
  append_f(out, x, w, d);
  return out;
}

std::string fmt_e(float x, int w, int d) {
  std::string out;
  append_e(out, x, w, d);
  return out;
}

std::string list_real(float x) {
  std::string out;
  append_list_real(out, x);
  return out;
}

std::string list_record(std::span<const float> values) {
  std::string out;
  append_list_record(out, values);
  return out;
}

std::string fmt_a_fixed(std::string_view text, int w) {
  std::string out(text.substr(0, static_cast<std::size_t>(w)));
  out.resize(static_cast<std::size_t>(w), ' ');
  return out;
}

std::string_view adjust_trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

std::string_view trim_right(std::string_view s) {
  const auto last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view{} : s.substr(0, last + 1);
}

std::string used_part(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kTextLen));
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::string_view rest = text.substr(first);
  const auto blank = rest.find(' ');
  if (blank != std::string_view::npos) return std::string(rest.substr(0, blank));
  // No blank in the left-adjusted 600 characters: only when they are all non-blank.
  if (first == 0 && rest.size() >= kTextLen) return {};
  return std::string(rest);
}

std::string cut_text(std::string_view text) {
  return std::string(trim_right(text.substr(0, std::min(text.size(), kTextLen))));
}

}  // namespace veltrane::textio
