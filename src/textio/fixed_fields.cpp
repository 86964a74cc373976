#include "textio/fixed_fields.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "textio/number_text.h"
#include "textio/text_length.h"

namespace veltrane::textio {
namespace {

using detail::is_alnum;
using detail::is_digit;
using detail::lower;
using detail::starts_nocase;

// The width of the numeric fields (i15) and (e15.5).
constexpr std::size_t kNumericWidth = 15;

// A numeric fixed field: the record's first 15 characters, ended early by a comma.
std::string_view numeric_field(std::string_view record) {
  const std::string_view f = record.substr(0, std::min(record.size(), kNumericWidth));
  return f.substr(0, f.find(','));
}

std::size_t skip_spaces(std::string_view f, std::size_t p) {
  while (p < f.size() && f[p] == ' ') ++p;
  return p;
}

// Inf, Infinity and NaN in a fixed numeric field, from the word on (w), as gfortran's
// formatted read takes them: after "inf" or "infinity" nothing, or a blank and then blanks and
// letters or digits; after "nan" nothing, or a blank or "(" and then blanks, letters, digits
// and at most one pair of brackets (opened first, no blank inside). v is set only when true.
bool parse_fixed_special(std::string_view w, bool neg, float& v) {
  if (starts_nocase(w, "inf")) {
    std::string_view r = w.substr(3);
    if (starts_nocase(r, "inity")) r = r.substr(5);
    if (!r.empty() && r[0] != ' ') return false;
    for (char c : r)
      if (c != ' ' && !is_alnum(c)) return false;
    v = neg ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return true;
  }
  if (!starts_nocase(w, "nan")) return false;
  const std::string_view r = w.substr(3);
  if (!r.empty() && r[0] != ' ' && r[0] != '(') return false;
  int brackets = 0;
  for (char c : r) {
    if (c == '(' || c == ')') {
      if (++brackets > 2 || (brackets == 1 && c == ')')) return false;
    } else if (c == ' ' ? brackets == 1 : !is_alnum(c)) {
      return false;
    }
  }
  if (brackets == 1) return false;
  v = std::copysign(std::numeric_limits<float>::quiet_NaN(), neg ? -1.0f : 1.0f);
  return true;
}

// The mantissa of an (e15.5) field: its digits and point with the blanks dropped, scanned
// from p up to the first other character (p is left there).
struct FieldMantissa {
  char text[kNumericWidth + 1];
  std::size_t length = 0;
  std::size_t digits = 0;
  bool point = false;
};

FieldMantissa scan_field_mantissa(std::string_view f, std::size_t& p) {
  FieldMantissa m;
  for (; p < f.size(); ++p) {
    const char c = f[p];
    if (c == ' ') continue;
    if (!is_digit(c) && (c != '.' || m.point)) break;
    m.point = m.point || c == '.';
    m.digits += c != '.';
    m.text[m.length++] = c;
  }
  return m;
}

// The exponent of an (e15.5) field from p (not at the field's end): a letter E, D or Q
// followed by more than blanks, or a sign alone, then the digits, blanks ignored. A sign
// followed by blanks only is the exponent 0. False for an error. gfortran keeps the exponent
// in a 32-bit int that wraps ("1E4294967297" is 1E1); unsigned arithmetic reproduces that
// without overflow.
bool scan_field_exponent(std::string_view f, std::size_t p, std::uint32_t& exponent) {
  const std::size_t n = f.size();
  const char c = lower(f[p]);
  if (c == 'e' || c == 'd' || c == 'q') {
    p = skip_spaces(f, p + 1);
    if (p == n) return false;
  } else if (c != '+' && c != '-') {
    return false;
  }
  bool exp_neg = false;
  if (f[p] == '+' || f[p] == '-') {
    exp_neg = f[p++] == '-';
    if (p == n) return false;
  }
  exponent = 0;
  for (; p < n; ++p) {
    if (f[p] == ' ') continue;
    if (!is_digit(f[p])) return false;
    exponent = exponent * 10u + static_cast<std::uint32_t>(f[p] - '0');
  }
  if (exp_neg) exponent = 0u - exponent;
  return true;
}

// A numeric field ended by a comma before any character was read, in the file's last record
// without LF: gfortran stores the empty field's 0, then its skip to the end of the record
// meets the end of the file having read nothing of the record, which it reports as such.
bool empty_field_at_file_end(const RecordFile& file, std::string_view rec) {
  return !rec.empty() && rec[0] == ',' && file.last_unterminated();
}

}  // namespace

// Iw input: blanks are ignored, a NUL ends the digits. A sign must not end the field (a blank
// after it is enough: "- ," reads 0).
ReadStatus parse_i15(std::string_view field, std::int32_t& v) {
  const std::string_view f = numeric_field(field);
  std::size_t p = skip_spaces(f, 0);
  bool neg = false;
  if (p < f.size() && (f[p] == '+' || f[p] == '-')) {
    neg = f[p++] == '-';
    if (p == f.size()) return ReadStatus::error;
  }
  std::int64_t x = 0;  // at most 15 digits
  for (; p < f.size() && f[p] != '\0'; ++p) {
    if (f[p] == ' ') continue;
    if (!is_digit(f[p])) return ReadStatus::error;
    x = x * 10 + (f[p] - '0');
  }
  if (x > (neg ? std::int64_t{2147483648} : std::int64_t{2147483647})) return ReadStatus::error;
  v = static_cast<std::int32_t>(neg ? -x : x);
  return ReadStatus::ok;
}

// Ew.d input with d = 5: a field without a decimal point has its last 5 mantissa digits
// fractional; the value is converted from the text (digits × 10^(exp-5)), never scaled in
// floating point. A TAB or a NUL anywhere in the field is an error.
ReadStatus parse_e15_5(std::string_view field, float& v) {
  constexpr std::uint32_t kFraction = 5;
  const std::string_view f = numeric_field(field);
  for (char c : f)
    if (c == '\t' || c == '\0') return ReadStatus::error;
  std::size_t p = skip_spaces(f, 0);
  bool neg = false;
  if (p < f.size() && (f[p] == '+' || f[p] == '-')) neg = f[p++] == '-';
  const std::size_t word = skip_spaces(f, p);
  if (word < f.size() && (lower(f[word]) == 'i' || lower(f[word]) == 'n'))
    return parse_fixed_special(f.substr(word), neg, v) ? ReadStatus::ok : ReadStatus::error;
  const FieldMantissa m = scan_field_mantissa(f, p);
  const bool has_exp = p < f.size();
  std::uint32_t exponent = 0;
  if (has_exp && !scan_field_exponent(f, p, exponent)) return ReadStatus::error;
  if (!m.point) exponent -= kFraction;
  const auto scale = static_cast<std::int32_t>(exponent);
  // gfortran writes the scale in at most four digits and refuses a larger one; the most
  // negative int escapes that test, and the four digits it then writes are 3648.
  if (scale != std::numeric_limits<std::int32_t>::min() && (scale >= 10000 || scale <= -10000))
    return ReadStatus::error;
  if (m.digits == 0) {
    // gfortran drops the sign of a field that holds nothing else ("-" is +0.0, "-." -0.0).
    v = (neg && (m.point || has_exp)) ? -0.0f : 0.0f;
    return ReadStatus::ok;
  }
  detail::TextBuf b;
  if (neg) b.push('-');
  b.append(std::string_view(m.text, m.length));
  b.push('e');
  b.append_int(scale == std::numeric_limits<std::int32_t>::min() ? -3648 : scale);
  v = detail::c_text_to_float(b.begin(), b.end());
  return ReadStatus::ok;
}

ReadStatus read_i15(RecordFile& file, std::int32_t& v) {
  std::string_view rec;
  if (!file.next_formatted(rec, kNumericWidth, true)) return ReadStatus::end_of_file;
  if (empty_field_at_file_end(file, rec)) {
    v = 0;
    return ReadStatus::end_of_file;
  }
  return parse_i15(rec, v);
}

ReadStatus read_e15_5(RecordFile& file, float& v) {
  std::string_view rec;
  if (!file.next_formatted(rec, kNumericWidth, true)) return ReadStatus::end_of_file;
  if (empty_field_at_file_end(file, rec)) {
    v = 0.0f;
    return ReadStatus::end_of_file;
  }
  return parse_e15_5(rec, v);
}

ReadStatus read_a600(RecordFile& file, std::string& v) {
  std::string_view rec;
  if (!file.next_formatted(rec, kTextLen, false)) return ReadStatus::end_of_file;
  rec = rec.substr(0, std::min(rec.size(), kTextLen));
  const std::size_t last = rec.find_last_not_of(' ');
  v.assign(last == std::string_view::npos ? std::string_view{} : rec.substr(0, last + 1));
  return ReadStatus::ok;
}

ReadStatus read_first_char(RecordFile& file, char& c) {
  std::string_view rec;
  if (!file.next_formatted(rec, 1, false)) return ReadStatus::end_of_file;
  c = rec.empty() ? ' ' : rec[0];
  return ReadStatus::ok;
}

}  // namespace veltrane::textio
