#include "textio/plain_reals.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "textio/number_text.h"

namespace veltrane::textio {
namespace {

using detail::is_blank;
using detail::is_digit;

// A plain number at r[i] ([sign] digits [. digits] [e|E [sign] digits], one mantissa digit at
// least) ending at a blank or the record end; i is moved past it. Stores what ListRead stores.
bool scan_plain_real(std::string_view r, std::size_t& i, float& v) {
  const std::size_t start = i, n = r.size();
  const bool neg = i < n && r[i] == '-';
  if (i < n && (r[i] == '+' || r[i] == '-')) ++i;
  std::uint64_t digits = 0;  // wraps beyond 19 digits, which take the full conversion
  const std::size_t int_begin = i;
  for (; i < n && is_digit(r[i]); ++i) digits = digits * 10 + static_cast<unsigned>(r[i] - '0');
  std::size_t count = i - int_begin, fraction = 0;
  if (i < n && r[i] == '.') {
    const std::size_t frac_begin = ++i;
    for (; i < n && is_digit(r[i]); ++i) digits = digits * 10 + static_cast<unsigned>(r[i] - '0');
    fraction = i - frac_begin;
    count += fraction;
  }
  if (count == 0) return false;
  int exponent = 0;
  if (i < n && (r[i] == 'e' || r[i] == 'E')) {
    bool exp_neg = false;
    if (++i < n && (r[i] == '+' || r[i] == '-')) exp_neg = r[i++] == '-';
    const std::size_t first = i;
    for (; i < n && is_digit(r[i]); ++i)
      if (exponent < 100000) exponent = exponent * 10 + (r[i] - '0');
    if (i == first) return false;
    if (exp_neg) exponent = -exponent;
  }
  if (i < n && !is_blank(r[i])) return false;
  if (count <= 19 && digits == 0) {
    v = neg ? -0.0f : 0.0f;
    return true;
  }
  if (count <= 19 && detail::small_decimal_to_float(digits, exponent - static_cast<int>(fraction), neg, v)) return true;
  return detail::parse_real_token(r.substr(start, i - start), v) == detail::RealResult::ok;
}

}  // namespace

bool read_plain_reals(RecordFile& file, std::span<float> out) {
  constexpr std::size_t kMaxItems = 64;
  if (out.empty() || out.size() > kMaxItems || file.at_end()) return false;
  std::string_view r;
  const std::size_t length = file.peek_list_record(r);
  float v[kMaxItems];
  std::size_t i = 0;
  for (std::size_t k = 0; k < out.size(); ++k) {
    i = detail::skip_blanks(r, i);
    if (!scan_plain_real(r, i, v[k])) return false;
  }
  // A comma, semicolon, slash or NUL after the last value is left to ListRead's separator
  // handling (a slash or NUL that ends the file makes an end of file).
  i = detail::skip_blanks(r, i);
  if (i < r.size() && (r[i] == ',' || r[i] == ';' || r[i] == '/' || r[i] == '\0')) return false;
  file.consume(length);
  // The usual record of four, copied without the block copy a variable length takes.
  if (out.size() == 4) std::memcpy(out.data(), v, 4 * sizeof(float));
  else std::copy(v, v + out.size(), out.begin());
  return true;
}

}  // namespace veltrane::textio
