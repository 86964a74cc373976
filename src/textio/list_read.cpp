#include "textio/list_read.h"

#include <algorithm>

#include "textio/number_text.h"
#include "textio/text_length.h"

namespace veltrane::textio {
namespace {

using detail::ends_token;
using detail::is_blank;
using detail::is_digit;

// gfortran's largest repeat count (its MAX_REPEAT).
constexpr std::int64_t kMaxRepeat = 200000000;

// A repeat count "r*" where a value begins (record[col], col < record.size(), is the value's
// first character). A REAL(4) item's count may be a lone point: gfortran then counts -2, so
// the value is read once and a point in it is a second point; a digit after that point
// overflows.
enum class RepeatForm { none, count, lone_point, zero, overflow };
struct RepeatCount {
  RepeatForm form = RepeatForm::none;
  std::int32_t count = 1;  // the items the value goes to, this one included
  std::size_t end = 0;     // just past the '*' (forms count and lone_point)
};

RepeatCount scan_repeat_count(std::string_view record, std::size_t col, bool real_item) {
  const bool point_count = real_item && record[col] == '.';
  std::size_t j = point_count ? col + 1 : col;
  while (j < record.size() && is_digit(record[j])) ++j;
  if (j == col || j == record.size() || record[j] != '*') return {};
  if (point_count) return {j > col + 1 ? RepeatForm::overflow : RepeatForm::lone_point, 1, j + 1};
  std::int64_t repeat = 0;
  for (std::size_t k = col; k < j; ++k) {
    repeat = repeat * 10 + (record[k] - '0');
    if (repeat > kMaxRepeat) return {RepeatForm::overflow, 1, j + 1};
  }
  if (repeat == 0) return {RepeatForm::zero, 1, j + 1};
  return {RepeatForm::count, static_cast<std::int32_t>(repeat), j + 1};
}

}  // namespace

ListRead::ListRead(std::string_view internal_record) : internal_(internal_record), internal_pending_(true) {}

// The next record; at the end of the file the current record and position stay as they are.
bool ListRead::next_record() {
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
  col_ = detail::skip_blanks(record_, col_);
  if (col_ == record_.size() || record_[col_] != '\0') return false;
  ++col_;
  return true;
}

// The end of the file was met right after the value just read (no record end between): end
// of file, yet the repeats of that value are still handed out.
void ListRead::end_file_after_value() {
  if (status_ != ReadStatus::ok) return;
  late_end_ = true;
  fail(Fault::end_of_file);
}

// Moves to where the next value starts, crossing record ends (crossed: the value starts on a
// record reached by crossing). After a lost NUL the value starts at col_ even at a blank or a
// record end (a null value). A comma met first after a record end belongs to that end (no
// null) unless a comma or semicolon already followed the last value; a semicolon there is a
// null.
bool ListRead::seek_value_start(bool& crossed) {
  crossed = false;
  if (!started_) {
    started_ = true;
    if (!next_record()) return false;
  }
  if (eat_spaces() || col_ < record_.size()) return true;
  for (;;) {  // at a record end: gfortran's finish_separator
    if (col_ == record_.size()) {
      if (!next_record()) return false;
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
  if (at_file_end()) end_file_after_value();
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
  if (lost && at_file_end()) end_file_after_value();
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
      if (!next_record()) return true;
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
  if (repeat_.left > 0) return hand_out_repeat(t, type);
  if (!value_follows()) return false;
  std::int32_t count = 1;
  if (!take_repeat_count(t, type, count) || !take_token(t, type)) return false;
  if (count > 1) keep_repeat(t, type, count);
  eat_separator();
  return true;
}

// The next of the values a repeat count still owes: false for a null one, and (an error)
// for an item of another type than the one that read the value.
inline bool ListRead::hand_out_repeat(Token& t, Type type) {
  --repeat_.left;
  if (repeat_.null) return false;
  if (repeat_.type != type) {
    wanted_type_ = type;
    repeat_.left = 0;
    fail(Fault::wrong_type);
    return false;
  }
  t.text = repeat_.value;
  t.quoted = repeat_.quoted;
  t.at_file_end = false;
  return true;
}

// Moves to the next value of the statement. True when a value begins at col_; false for a
// null value (status ok) or when the statement is over (slash, end of file: see status_).
inline bool ListRead::value_follows() {
  if (status_ != ReadStatus::ok || slashed_) return false;
  bool crossed = false;
  if (!seek_value_start(crossed)) {
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
  return true;
}

// Consumes a repeat count before the value at col_, if there is one; count: the items the
// value goes to. False when no value follows for this item: a zero or overflowing count (an
// error), "r*" cut off by the end of the file, or "r*" alone (r null values, this item's the
// first).
inline bool ListRead::take_repeat_count(Token& t, Type type, std::int32_t& count) {
  const RepeatCount r = scan_repeat_count(record_, col_, type == Type::real);
  switch (r.form) {
    case RepeatForm::none: return true;
    case RepeatForm::zero: fail(Fault::zero_repeat); return false;
    case RepeatForm::overflow: fail(Fault::repeat_overflow); return false;
    case RepeatForm::count:
    case RepeatForm::lone_point: break;
  }
  t.after_point_count = r.form == RepeatForm::lone_point;
  col_ = r.end;
  if (at_file_end()) {  // "r*" with its value cut off by the end of the file
    fail(Fault::end_of_file);
    return false;
  }
  if (col_ == record_.size() || ends_token(record_[col_])) {
    repeat_.left = r.count - 1;
    repeat_.null = true;
    eat_separator();
    return false;
  }
  count = r.count;
  return true;
}

// The value at col_: a quoted string for a text item, otherwise the characters up to the
// next separator. False (an error) for a closing quote glued to more text.
inline bool ListRead::take_token(Token& t, Type type) {
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
  return true;
}

// Keeps the value just read for the next count - 1 items.
inline void ListRead::keep_repeat(Token& t, Type type, std::int32_t count) {
  repeat_.left = count - 1;
  repeat_.null = false;
  repeat_.quoted = t.quoted;
  repeat_.type = type;
  repeat_.value.assign(t.text);
  t.text = repeat_.value;
}

ReadStatus ListRead::integer(std::int32_t& v) {
  using detail::IntResult;
  Token t;
  stored_ = false;
  if (!next_value(t, Type::integer)) return status_;
  std::int32_t x = 0;
  switch (t.quoted ? IntResult::bad : detail::parse_int_digits(t.text, x)) {
    case IntResult::ok:
      v = x;
      stored_ = true;
      break;
    case IntResult::bad: fail(Fault::bad_integer); break;
    case IntResult::overflow: fail(Fault::integer_overflow); break;
    case IntResult::cut: fail(t.at_file_end ? Fault::end_of_file : Fault::bad_integer); break;
  }
  return status_;
}

ReadStatus ListRead::real(float& v) {
  using detail::RealResult;
  Token t;
  stored_ = false;
  if (!next_value(t, Type::real)) return status_;
  float x = 0.0f;
  switch (t.quoted ? RealResult::bad : detail::parse_real_token(t.text, x, t.after_point_count)) {
    case RealResult::ok:
      v = x;
      stored_ = true;
      break;
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
  if (!next_record()) fail(Fault::end_of_file);
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
  // gfortran's own iomsg texts, word for word.
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
      return "Read type " + name(repeat_.type) + " where " + name(wanted_type_) + " was expected for item " + n;
  }
  return {};
}

}  // namespace veltrane::textio
