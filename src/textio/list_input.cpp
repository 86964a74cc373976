#include "textio/list_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "textio/text_length.h"

namespace veltrane::textio {
namespace {

// gfortran's largest repeat count (its MAX_REPEAT).
constexpr std::int64_t kMaxRepeat = 200000000;

// Character classes of list-directed input. A CR inside a record acts as a blank.
enum : unsigned char { kBlank = 1, kEndsToken = 2 };

constexpr std::array<unsigned char, 256> make_classes() {
  std::array<unsigned char, 256> t{};
  for (unsigned char c : {' ', '\t', '\r'}) t[c] = kBlank | kEndsToken;
  for (unsigned char c : {',', ';', '/'}) t[c] = kEndsToken;
  return t;
}
constexpr std::array<unsigned char, 256> kClasses = make_classes();

inline bool is_blank(char c) { return (kClasses[static_cast<unsigned char>(c)] & kBlank) != 0; }
inline bool ends_token(char c) {
  return (kClasses[static_cast<unsigned char>(c)] & kEndsToken) != 0;
}
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t skip_blanks(std::string_view r, std::size_t i) {
  while (i < r.size() && is_blank(r[i])) ++i;
  return i;
}

bool equals_nocase(std::string_view s, std::string_view word) {
  if (s.size() != word.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (lower(s[i]) != lower(word[i])) return false;
  return true;
}

// List-directed Inf, Infinity, NaN and NaN(chars), case-insensitive; the chars may be
// anything but ')'.
bool parse_special(std::string_view w, bool neg, float& v) {
  if (equals_nocase(w, "inf") || equals_nocase(w, "infinity")) {
    v = neg ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    return true;
  }
  const bool nan = equals_nocase(w, "nan") ||
                   (w.size() >= 5 && equals_nocase(w.substr(0, 4), "nan(") && w.back() == ')' &&
                    w.substr(4, w.size() - 5).find(')') == std::string_view::npos);
  if (!nan) return false;
  v = std::copysign(std::numeric_limits<float>::quiet_NaN(), neg ? -1.0f : 1.0f);
  return true;
}

bool starts_nocase(std::string_view s, std::string_view word) {
  return s.size() >= word.size() && equals_nocase(s.substr(0, word.size()), word);
}

// A beginning of Infinity or NaN that more characters could complete ("in", "infin", "na",
// "nan(ab"); w is not itself a valid special.
bool special_prefix(std::string_view w) {
  if (w.empty()) return false;
  if (w.size() < 8 && starts_nocase("infinity", w)) return true;
  if (w.size() < 3 && starts_nocase("nan", w)) return true;
  return starts_nocase(w, "nan(") && w.find(')') == std::string_view::npos;
}

// A numeric fixed field of width 15: the record's first 15 characters, ended early by a comma.
std::string_view numeric_field(std::string_view record) {
  const std::string_view f = record.substr(0, std::min(record.size(), std::size_t{15}));
  return f.substr(0, f.find(','));
}

std::size_t skip_spaces(std::string_view f, std::size_t p) {
  while (p < f.size() && f[p] == ' ') ++p;
  return p;
}

inline bool is_alnum(char c) { return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'z'); }

// Inf, Infinity and NaN in a fixed numeric field, from the word on (w), as gfortran's
// formatted read takes them: after "inf" or "infinity" nothing, or a blank and then blanks and
// letters or digits; after "nan" nothing, or a blank or "(" and then blanks, letters, digits
// and at most one pair of brackets (opened first, no blank inside).
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

// Correctly rounded conversion of a text already in C form ([-]digits[.digits][e[±]digits]).
// std::from_chars leaves the value unchanged out of range, where gfortran gives ±Inf or ±0:
// strtof (never its errno, which also flags subnormals) settles those.
float convert_c_text(const char* first, const char* last) {
  float v = 0.0f;
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec == std::errc() && ptr == last) return v;
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

// Appends to a bounded buffer that spills into a string only for very long texts.
class TextBuf {
 public:
  void push(char c) {
    if (n_ < sizeof small_) small_[n_++] = c;
    else {
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

// cut: every character fits, but the number is unfinished (a sign alone, an exponent letter
// or sign without digits, a beginning of Infinity or NaN).
enum class RealResult { ok, bad, dot_only, cut };

// A list-directed REAL(4) token: checked for gfortran's syntax first, then converted.
// point_taken: a point already read (in a repeat count) makes any point an error.
RealResult parse_real_token(std::string_view t, float& v, bool point_taken = false) {
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
    if (parse_special(t.substr(i), neg, v)) return RealResult::ok;
    return special_prefix(t.substr(i)) ? RealResult::cut : RealResult::bad;
  }
  const std::size_t mant_begin = i;
  const Mantissa m = scan_mantissa(t, i);
  const std::size_t digits = m.digits;
  const bool point = m.point;
  if (point && point_taken) return RealResult::bad;
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
    if (i == n) return digits > 0 || point ? RealResult::cut : RealResult::bad;
    while (i < n && is_digit(t[i])) ++i;
    if (i != n) return RealResult::bad;
  }
  if (digits == 0) return point ? RealResult::dot_only : RealResult::bad;
  if (c_form) {
    v = convert_c_text(t.data(), t.data() + n);
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
  v = convert_c_text(b.begin(), b.end());
  return RealResult::ok;
}

// cut: a sign alone.
enum class IntResult { ok, bad, overflow, cut };

// [+-]digits into INTEGER(4).
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

}  // namespace

// ---------------------------------------------------------------------------------------------
// RecordFile

std::optional<RecordFile> RecordFile::open(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  struct stat st {};
  if (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return std::nullopt;
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  std::size_t got = 0;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) return std::nullopt;
  return RecordFile(std::move(data));
}

RecordFile RecordFile::from_stream(std::FILE* stream) {
  RecordFile f{std::string()};
  f.stream_ = stream;
  return f;
}

void RecordFile::fill() {
  if (stream_ == nullptr) return;
  if (pos_ > 0) {
    data_.erase(0, pos_);
    pos_ = 0;
  }
  char* line = nullptr;
  std::size_t capacity = 0;
  while (std::memchr(data_.data(), '\n', data_.size()) == nullptr) {
    const ssize_t got = ::getline(&line, &capacity, stream_);
    if (got <= 0) {
      stream_ = nullptr;  // end of the input (or an input error, taken as its end)
      break;
    }
    data_.append(line, static_cast<std::size_t>(got));
  }
  std::free(line);
}

RecordFile RecordFile::from_string(std::string text) { return RecordFile(std::move(text)); }

bool RecordFile::next_formatted(std::string_view& record, std::size_t width, bool comma) {
  if (at_end()) return false;
  const std::string_view rest = std::string_view(data_).substr(pos_);
  const std::size_t lf = rest.find('\n');
  std::string_view field = rest.substr(0, std::min(lf, width));
  if (comma) field = field.substr(0, field.find(','));
  const std::size_t cr = field.find('\r');
  if (cr != std::string_view::npos) {  // the field meets the CR: the record ends there
    record = rest.substr(0, cr);
    pos_ += cr + (cr + 1 == lf ? 2 : 1);
    unterminated_ = false;
    return true;
  }
  unterminated_ = lf == std::string_view::npos;
  record = rest.substr(0, lf);
  pos_ += unterminated_ ? rest.size() : lf + 1;
  return true;
}

std::size_t RecordFile::list_record(std::string_view& record) const {
  const char* base = data_.data() + pos_;
  const std::size_t left = data_.size() - pos_;
  const void* lf = std::memchr(base, '\n', left);
  std::size_t len = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : left;
  const std::size_t taken = lf ? len + 1 : len;
  if (lf && len > 0 && base[len - 1] == '\r') --len;
  record = std::string_view(base, len);
  return taken;
}

void RecordFile::take(std::size_t length) {
  pos_ += length;
  unterminated_ = data_[pos_ - 1] != '\n';
}

bool RecordFile::next_list(std::string_view& record) {
  if (at_end()) return false;
  take(list_record(record));
  return true;
}

// ---------------------------------------------------------------------------------------------
// ListRead

ListRead::ListRead(std::string_view internal_record)
    : internal_(internal_record), internal_pending_(true) {}

// The next record; at the end of the file the current record and position stay as they are.
bool ListRead::fetch() {
  if (file_ != nullptr) {
    if (!file_->next_list(record_)) return false;
    unterminated_ = file_->last_unterminated();
  } else {
    // An internal record behaves as a record followed by its end, never by the file's end.
    if (!internal_pending_) return false;
    internal_pending_ = false;
    record_ = internal_;
  }
  col_ = 0;
  return true;
}

// The end of the file comes right after col_: gfortran's next character would be EOF
// rather than the LF it otherwise treats alike.
bool ListRead::at_file_end() const { return unterminated_ && col_ == record_.size(); }

// gfortran's eat_spaces: skips blanks, then pushes back the character it stopped at. A NUL
// pushed back is lost (gfortran's pushback slot reads a NUL as empty), so whatever reads next
// takes the character after it as it is, blank or not. True when a NUL was lost.
bool ListRead::eat_spaces() {
  col_ = skip_blanks(record_, col_);
  if (col_ == record_.size() || record_[col_] != '\0') return false;
  ++col_;
  return true;
}

// The end of the file was met right after the value just read (no record end between): end
// of file, yet the repeats of that value are still handed out.
void ListRead::end_after_value() {
  if (status_ != ReadStatus::ok) return;
  late_end_ = true;
  fail(Fault::end_of_file);
}

// Moves to where the next value starts, crossing record ends (crossed: the value starts on a
// record reached by crossing). After a lost NUL the value starts at col_ even at a blank or a
// record end (a null value). A comma met first after a record end belongs to that end (no
// null) unless a comma or semicolon already followed the last value; a semicolon there is a
// null.
bool ListRead::seek(bool& crossed) {
  crossed = false;
  if (!started_) {
    started_ = true;
    if (!fetch()) return false;
  }
  if (eat_spaces() || col_ < record_.size()) return true;
  for (;;) {  // at a record end: gfortran's finish_separator
    if (col_ == record_.size()) {
      if (!fetch()) return false;
      crossed = true;
    }
    const bool nul = eat_spaces();
    if (col_ == record_.size()) continue;
    const char c = record_[col_];
    if (nul && (c == '\r' || c == '\0')) {  // a CR taken as it is ends the line; a NUL is lost
      ++col_;
      if (c == '\r') continue;
      crossed = false;  // what follows is read as the value itself
      return true;
    }
    if (c == ',' && !comma_sep_) {
      ++col_;
      crossed = false;
      if (!eat_spaces() && col_ == record_.size()) continue;
    }
    return true;
  }
}

// Consumes the slash at col_. gfortran looks at the character after the statement's last
// consumed one only when that was not an end of record; after a slash that is the file's
// last character it meets the end of the file.
void ListRead::take_slash() {
  ++col_;
  slashed_ = true;
  if (at_file_end()) end_after_value();
}

// gfortran's eat_separator: blanks, then one comma or semicolon and the blanks after it, or a
// slash. A character after a lost NUL is taken as it is: a CR is eaten, a NUL lost again; a
// NUL lost as the file's last character leaves gfortran's next read at the end of the file.
void ListRead::eat_separator() {
  comma_sep_ = false;
  const bool nul = eat_spaces();
  if (col_ == record_.size()) return;
  const char c = record_[col_];
  bool lost = false;
  if (c == ',' || c == ';') {
    ++col_;
    comma_sep_ = true;
    lost = eat_spaces();
  } else if (c == '/') {
    take_slash();
  } else if (nul && (c == '\r' || c == '\0')) {
    ++col_;
    lost = c == '\0';
    if (c == '\r' && col_ < record_.size() && record_[col_] == '\0') {
      ++col_;
      lost = true;
    }
  }
  if (lost && at_file_end()) end_after_value();
}

void ListRead::fail(Fault f) {
  fault_ = f;
  status_ = f == Fault::end_of_file ? ReadStatus::end_of_file : ReadStatus::error;
}

// Reads a quoted string starting at col_ into text_ (cut at 600 characters). It may span
// records; the end of the file ends it too. False after a closing quote glued to more text.
bool ListRead::read_quoted() {
  const char q = record_[col_++];
  text_.clear();
  for (;;) {
    if (col_ == record_.size()) {
      if (!fetch()) return true;
      continue;
    }
    const char c = record_[col_++];
    if (c == q) {
      if (col_ < record_.size() && record_[col_] == q) {
        ++col_;
      } else {
        if (col_ < record_.size() && record_[col_] == '\0') ++col_;  // pushed back, lost
        return col_ == record_.size() || ends_token(record_[col_]);
      }
    } else if (c == '\r') {
      continue;
    }
    if (text_.size() < kTextLen) text_.push_back(c);
  }
}

// The next item's value. False for a null value (status ok) or when the statement is over
// (slash, end of file, error: see status_).
bool ListRead::next_value(Token& t, Type type) {
  if (status_ == ReadStatus::error) return false;
  if (status_ == ReadStatus::end_of_file && !late_end_) return false;
  ++item_;
  if (repeat_left_ > 0) {
    --repeat_left_;
    if (repeat_null_) return false;
    if (repeat_type_ != type) {
      wanted_type_ = type;
      repeat_left_ = 0;
      fail(Fault::wrong_type);
      return false;
    }
    t.text = repeat_value_;
    t.quoted = repeat_quoted_;
    t.at_file_end = false;
    return true;
  }
  if (status_ != ReadStatus::ok || slashed_) return false;
  bool crossed = false;
  if (!seek(crossed)) {
    fail(Fault::end_of_file);
    return false;
  }
  if (col_ < record_.size() && record_[col_] == '/') {
    take_slash();
    // A slash beginning a record reached across a record end still lets the current item
    // read what follows it, as it is ("/5" gives 5; "/ 5" and "/" a null).
    if (!crossed || status_ != ReadStatus::ok) return false;
  }
  if (col_ == record_.size()) {  // only after a lost NUL or a slash: a null, or the file's end
    if (at_file_end() && !slashed_) fail(Fault::end_of_file);
    comma_sep_ = false;
    return false;
  }
  const char c = record_[col_];
  if (is_blank(c) || c == ',' || c == ';' || c == '/') {  // a null value
    eat_separator();
    return false;
  }
  // r*value or r*. A real's count may be a lone point: gfortran then counts -2, so the value
  // is read once and a point in it is a second point; a digit after that point overflows.
  std::int64_t repeat = 1;
  std::size_t j = col_;
  const bool point_count = type == Type::real && record_[col_] == '.';
  if (point_count) ++j;
  while (j < record_.size() && is_digit(record_[j])) ++j;
  if (j > col_ && j < record_.size() && record_[j] == '*') {
    if (point_count && j > col_ + 1) {
      fail(Fault::repeat_overflow);
      return false;
    }
    if (!point_count) {
      repeat = 0;
      for (std::size_t k = col_; k < j; ++k) {
        repeat = repeat * 10 + (record_[k] - '0');
        if (repeat > kMaxRepeat) {
          fail(Fault::repeat_overflow);
          return false;
        }
      }
      if (repeat == 0) {
        fail(Fault::zero_repeat);
        return false;
      }
    }
    t.point_taken = point_count;
    col_ = j + 1;
    if (at_file_end()) {  // "r*" with its value cut off by the end of the file
      fail(Fault::end_of_file);
      return false;
    }
    if (col_ == record_.size() || ends_token(record_[col_])) {
      repeat_left_ = static_cast<int>(repeat - 1);
      repeat_null_ = true;
      eat_separator();
      return false;
    }
  }
  if (type == Type::text && (record_[col_] == '\'' || record_[col_] == '"')) {
    if (!read_quoted()) {
      fail(Fault::bad_string);
      return false;
    }
    t.text = text_;
    t.quoted = true;
    t.at_file_end = false;
  } else {
    const std::size_t start = col_;
    while (col_ < record_.size() && !ends_token(record_[col_])) ++col_;
    t.text = record_.substr(start, col_ - start);
    t.quoted = false;
    t.at_file_end = at_file_end();
  }
  if (repeat > 1) {
    repeat_left_ = static_cast<int>(repeat - 1);
    repeat_null_ = false;
    repeat_quoted_ = t.quoted;
    repeat_type_ = type;
    repeat_value_.assign(t.text);
    t.text = repeat_value_;
  }
  eat_separator();
  return true;
}

ReadStatus ListRead::integer(std::int32_t& v) {
  Token t;
  stored_ = false;
  if (!next_value(t, Type::integer)) return status_;
  std::int32_t x = 0;
  switch (t.quoted ? IntResult::bad : parse_int_digits(t.text, x)) {
    case IntResult::ok: v = x; stored_ = true; break;
    case IntResult::bad: fail(Fault::bad_integer); break;
    case IntResult::overflow: fail(Fault::integer_overflow); break;
    case IntResult::cut: fail(t.at_file_end ? Fault::end_of_file : Fault::bad_integer); break;
  }
  return status_;
}

ReadStatus ListRead::real(float& v) {
  Token t;
  stored_ = false;
  if (!next_value(t, Type::real)) return status_;
  float x = 0.0f;
  switch (t.quoted ? RealResult::bad : parse_real_token(t.text, x, t.point_taken)) {
    case RealResult::ok: v = x; stored_ = true; break;
    case RealResult::bad: fail(Fault::bad_real); break;
    case RealResult::cut: fail(t.at_file_end ? Fault::end_of_file : Fault::bad_real); break;
    case RealResult::dot_only:  // gfortran stores 0.0 and still reports the error
      v = 0.0f;
      stored_ = true;
      fail(Fault::float_read);
      break;
  }
  return status_;
}

ReadStatus ListRead::text(std::string& v) {
  Token t;
  stored_ = false;
  if (!next_value(t, Type::text)) return status_;
  stored_ = true;
  std::string_view s = t.text.substr(0, std::min(t.text.size(), kTextLen));
  const std::size_t last = s.find_last_not_of(' ');
  v.assign(last == std::string_view::npos ? std::string_view{} : s.substr(0, last + 1));
  return status_;
}

ReadStatus ListRead::skip() {
  if (status_ != ReadStatus::ok || started_) return status_;
  started_ = true;
  if (!fetch()) fail(Fault::end_of_file);
  col_ = record_.size();
  return status_;
}

std::string ListRead::message() const {
  const std::string n = std::to_string(item_);
  const auto name = [](Type t) -> std::string {
    switch (t) {
      case Type::integer: return "INTEGER";
      case Type::real: return "REAL";
      case Type::text: return "CHARACTER";
    }
    return {};
  };
  switch (fault_) {
    case Fault::none: return {};
    case Fault::end_of_file: return "End of file";
    case Fault::bad_real: return "Bad real number in item " + n + " of list input";
    case Fault::bad_integer: return "Bad integer for item " + n + " in list input";
    case Fault::integer_overflow: return "Integer overflow while reading item " + n;
    case Fault::zero_repeat: return "Zero repeat count in item " + n + " of list input";
    case Fault::repeat_overflow: return "Repeat count overflow in item " + n + " of list input";
    case Fault::bad_string: return "Invalid string input in item " + n;
    case Fault::float_read: return "Error during floating point read";
    case Fault::wrong_type:
      return "Read type " + name(repeat_type_) + " where " + name(wanted_type_) +
             " was expected for item " + n;
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
// Plain numeric records

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain number at r[i] ([sign] digits [. digits] [e|E [sign] digits], one mantissa digit at
// least) ending at a blank or the record end; i is moved past it. Stores what ListRead stores.
bool plain_real(std::string_view r, std::size_t& i, float& v) {
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
  // d = RN64(x), x = digits × 10^k, as both factors are exact doubles. Float midpoints are doubles
  // and RN64 is monotonic, so none lies between x and d: (float)d = RN32(x) unless d is one.
  // Subnormal and overflowing results take the full conversion.
  const int k = count <= 19 ? exponent - static_cast<int>(fraction) : 0;
  if (count <= 19 && digits <= (std::uint64_t{1} << 53) && k >= -22 && k <= 22) {
    const double x = static_cast<double>(digits);
    const double d = k < 0 ? x / kPow10[-k] : x * kPow10[k];
    const bool midpoint = (std::bit_cast<std::uint64_t>(d) & 0x1FFFFFFF) == 0x10000000;
    if (d >= static_cast<double>(std::numeric_limits<float>::min()) &&
        d <= static_cast<double>(std::numeric_limits<float>::max()) && !midpoint) {
      const float f = static_cast<float>(d);
      v = neg ? -f : f;
      return true;
    }
  }
  return parse_real_token(r.substr(start, i - start), v) == RealResult::ok;
}

}  // namespace

bool read_plain_reals(RecordFile& file, std::span<float> out) {
  constexpr std::size_t kMaxItems = 64;
  if (out.empty() || out.size() > kMaxItems || file.at_end()) return false;
  std::string_view r;
  const std::size_t length = file.list_record(r);
  float v[kMaxItems];
  std::size_t i = 0;
  for (std::size_t k = 0; k < out.size(); ++k) {
    i = skip_blanks(r, i);
    if (!plain_real(r, i, v[k])) return false;
  }
  // A comma, semicolon, slash or NUL after the last value is left to ListRead's separator
  // handling (a slash or NUL that ends the file makes an end of file).
  i = skip_blanks(r, i);
  if (i < r.size() && (r[i] == ',' || r[i] == ';' || r[i] == '/' || r[i] == '\0')) return false;
  file.take(length);
  std::copy(v, v + out.size(), out.begin());
  return true;
}

// ---------------------------------------------------------------------------------------------
// Fixed fields

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
// floating point. Blanks are ignored, except that an exponent letter must be followed by more
// than blanks and a sign by something (a blank after a sign gives the exponent 0: "1.5E- ,"
// is 1.5). A TAB or a NUL anywhere in the field is an error.
ReadStatus parse_e15_5(std::string_view field, float& v) {
  constexpr std::uint32_t kFraction = 5;
  const std::string_view f = numeric_field(field);
  const std::size_t n = f.size();
  for (char c : f)
    if (c == '\t' || c == '\0') return ReadStatus::error;
  std::size_t p = skip_spaces(f, 0);
  bool neg = false;
  if (p < n && (f[p] == '+' || f[p] == '-')) neg = f[p++] == '-';
  const std::size_t word = skip_spaces(f, p);
  if (word < n && (lower(f[word]) == 'i' || lower(f[word]) == 'n')) {
    float x = 0.0f;
    if (!parse_fixed_special(f.substr(word), neg, x)) return ReadStatus::error;
    v = x;
    return ReadStatus::ok;
  }
  char mant[16];  // digits and the point, blanks dropped
  std::size_t m = 0, digits = 0;
  bool point = false;
  for (; p < n; ++p) {
    const char c = f[p];
    if (c == ' ') continue;
    if (!is_digit(c) && (c != '.' || point)) break;
    point = point || c == '.';
    digits += c != '.';
    mant[m++] = c;
  }
  bool has_exp = false;
  // gfortran keeps the exponent in a 32-bit int that wraps ("1E4294967297" is 1E1); unsigned
  // arithmetic reproduces that without overflow.
  std::uint32_t exponent = 0;
  if (p < n) {
    const char c = lower(f[p]);
    if (c == 'e' || c == 'd' || c == 'q') {
      p = skip_spaces(f, p + 1);
      if (p == n) return ReadStatus::error;
    } else if (c != '+' && c != '-') {
      return ReadStatus::error;
    }
    bool exp_neg = false;
    if (f[p] == '+' || f[p] == '-') {
      exp_neg = f[p++] == '-';
      if (p == n) return ReadStatus::error;
    }
    for (; p < n; ++p) {
      if (f[p] == ' ') continue;
      if (!is_digit(f[p])) return ReadStatus::error;
      exponent = exponent * 10u + static_cast<std::uint32_t>(f[p] - '0');
    }
    if (exp_neg) exponent = 0u - exponent;
    has_exp = true;
  }
  if (!point) exponent -= kFraction;
  const auto scale = static_cast<std::int32_t>(exponent);
  // gfortran writes the scale in at most four digits and refuses a larger one; the most
  // negative int escapes that test, and the four digits it then writes are 3648.
  if (scale != std::numeric_limits<std::int32_t>::min() && (scale >= 10000 || scale <= -10000))
    return ReadStatus::error;
  if (digits == 0) {
    // gfortran drops the sign of a field that holds nothing else ("-" is +0.0, "-." -0.0).
    v = (neg && (point || has_exp)) ? -0.0f : 0.0f;
    return ReadStatus::ok;
  }
  TextBuf b;
  if (neg) b.push('-');
  b.append(std::string_view(mant, m));
  b.push('e');
  b.append_int(scale == std::numeric_limits<std::int32_t>::min() ? -3648 : scale);
  v = convert_c_text(b.begin(), b.end());
  return ReadStatus::ok;
}

namespace {
// A numeric field ended by a comma before any character was read, in the file's last record
// without LF: gfortran stores the empty field's 0, then its skip to the end of the record
// meets the end of the file having read nothing of the record, which it reports as such.
bool empty_field_at_file_end(const RecordFile& file, std::string_view rec) {
  return !rec.empty() && rec[0] == ',' && file.last_unterminated();
}
}  // namespace

ReadStatus read_i15(RecordFile& file, std::int32_t& v) {
  std::string_view rec;
  if (!file.next_formatted(rec, 15, true)) return ReadStatus::end_of_file;
  if (empty_field_at_file_end(file, rec)) {
    v = 0;
    return ReadStatus::end_of_file;
  }
  return parse_i15(rec, v);
}

ReadStatus read_e15_5(RecordFile& file, float& v) {
  std::string_view rec;
  if (!file.next_formatted(rec, 15, true)) return ReadStatus::end_of_file;
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
