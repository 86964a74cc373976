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

// A plain number at p ([sign] digits [. digits] [e|E [sign] digits], one mantissa digit at
// least) ending at a blank or at end; p is moved past it. Stores what ListRead stores. The
// character at end is the record's LF or CR, or the NUL that follows every RecordFile's data,
// none of which continues a number: the scans stop there without comparing with end.
bool scan_plain_real(const char*& p, const char* end, float& v) {
  const char* const start = p;
  const bool neg = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  std::uint64_t digits = 0;  // wraps beyond 19 digits, which take the full conversion
  const char* const int_begin = p;
  for (; is_digit(*p); ++p) digits = digits * 10 + static_cast<unsigned>(*p - '0');
  std::size_t count = static_cast<std::size_t>(p - int_begin), fraction = 0;
  if (*p == '.') {
    const char* const frac_begin = ++p;
    for (; is_digit(*p); ++p) digits = digits * 10 + static_cast<unsigned>(*p - '0');
    fraction = static_cast<std::size_t>(p - frac_begin);
    count += fraction;
  }
  if (count == 0) return false;
  int exponent = 0;
  if (*p == 'e' || *p == 'E') {
    bool exp_neg = false;
    ++p;
    if (*p == '+' || *p == '-') exp_neg = *p++ == '-';
    const char* const first = p;
    for (; is_digit(*p); ++p)
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
    if (p == first) return false;
    if (exp_neg) exponent = -exponent;
  }
  if (p < end && !is_blank(*p)) return false;
  if (count <= 19 && digits == 0) {
    v = neg ? -0.0f : 0.0f;
    return true;
  }
  if (count <= 19 && detail::small_decimal_to_float(digits, exponent - static_cast<int>(fraction), neg, v)) return true;
  const std::string_view token(start, static_cast<std::size_t>(p - start));
  return detail::parse_real_token(token, v) == detail::RealResult::ok;
}

const char* skip_blanks(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  return p;
}

}  // namespace

bool read_plain_reals(RecordFile& file, std::span<float> out) {
  constexpr std::size_t kMaxItems = 64;
  if (out.empty() || out.size() > kMaxItems || file.at_end()) return false;
  std::string_view r;
  const std::size_t length = file.peek_list_record(r);
  float v[kMaxItems];
  const char* p = r.data();
  const char* const end = p + r.size();
  for (std::size_t k = 0; k < out.size(); ++k) {
    p = skip_blanks(p, end);
    if (!scan_plain_real(p, end, v[k])) return false;
  }
  // A comma, semicolon, slash or NUL after the last value is left to ListRead's separator
  // handling (a slash or NUL that ends the file makes an end of file).
  p = skip_blanks(p, end);
  if (p < end && (*p == ',' || *p == ';' || *p == '/' || *p == '\0')) return false;
  file.consume(length);
  // The usual record of four, copied without the block copy a variable length takes.
  if (out.size() == 4) std::memcpy(out.data(), v, 4 * sizeof(float));
  else std::copy(v, v + out.size(), out.begin());
  return true;
}

}  // namespace veltrane::textio
