// Formatted output as gfortran 12.2 writes it, byte for byte, for REAL(4), INTEGER(4)
// and CHARACTER items: the edit descriptors i, f, e, a and nx, the field of asterisks
// for a value that does not fit, and the list-directed (free-format) rendering.
// The fmt_* and list_* functions return the field text; the append_* forms add the same
// bytes to a caller's buffer. None touches a stream or the locale.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltrane::textio {

// Iw: right-justified, '-' for negatives; w asterisks when it does not fit.
std::string fmt_i(std::int32_t v, int w);
// Fw.d: fixed point rounded to nearest-even on the exact binary value; the sign is written
// whenever the sign bit is set (-0.00000); "0." loses its 0 when one column short.
std::string fmt_f(float x, int w, int d);
// Ew.d (d >= 1): [-]0.ddddE±xx right-justified in w.
std::string fmt_e(float x, int w, int d);
// Aw applied to a 600-character blank-padded text held without its trailing blanks:
// its leftmost w characters (blank-padded when the text is shorter).
std::string fmt_a_fixed(std::string_view text, int w);

// List-directed rendering of one REAL(4): the 16-character field (without the blank
// that separates items).
std::string list_real(float x);
// A whole list-directed record of REAL(4) items: one blank, then the field, per item.
std::string list_record(std::span<const float> values);

// The bytes of list_record written at `out`, which must have room for 17 × values.size()
// characters; returns the end of what was written. For a caller that sizes a whole table
// once (a std::string resized for every record pays for filling it first).
char* put_list_record(char* out, std::span<const float> values);

// A table of list-directed records written at `out`: values.size() / per_record records
// (per_record ≥ 1, dividing values.size()), each the bytes of list_record for its values and
// a newline. `out` must have room for 17 × values.size() + values.size() / per_record
// characters; returns the end of what was written. Four values at a time where the CPU
// has AVX2, the same bytes as one by one (detail::put_list_table_one_by_one).
char* put_list_table(char* out, std::span<const float> values, std::size_t per_record);

// The same bytes as fmt_e, fmt_f, list_real and list_record, appended to `out`.
void append_e(std::string& out, float x, int w, int d);
void append_f(std::string& out, float x, int w, int d);
void append_list_real(std::string& out, float x);
void append_list_record(std::string& out, std::span<const float> values);

// Left-adjusted and trimmed: what "write into a 600-character text, then adjustl and
// trim" leaves of a field.
std::string_view adjust_trim(std::string_view s);
std::string_view trim_right(std::string_view s);

// The value-line idiom: a number written with an edit descriptor, then left-adjusted and
// trimmed.
inline std::string adj_i(std::int32_t v, int w = 15) { return std::string(adjust_trim(fmt_i(v, w))); }
inline std::string adj_f(float x, int w, int d) { return std::string(adjust_trim(fmt_f(x, w, d))); }
inline std::string adj_e(float x, int w, int d) { return std::string(adjust_trim(fmt_e(x, w, d))); }
inline std::string adj_list(float x) { return std::string(adjust_trim(list_real(x))); }

// The used part of a 600-character text: the left-adjusted text up to, not including, its
// first blank. A text of 600 non-blank characters has an empty used part.
std::string used_part(std::string_view text);
// A text cut to the fixed length of 600 characters (trailing blanks dropped).
std::string cut_text(std::string_view text);

namespace detail {
// The literal writers: snprintf on the float widened to double, the text then rearranged.
// The reference for fmt_f, fmt_e and list_real (same contracts), and their fallback.
std::string fmt_f_literal(float x, int w, int d);
std::string fmt_e_literal(float x, int w, int d);
std::string list_real_literal(float x);
// put_list_table one value at a time, on any CPU.
char* put_list_table_one_by_one(char* out, std::span<const float> values, std::size_t per_record);
}  // namespace detail

}  // namespace veltrane::textio
