// List-directed ("free-format") READ statements as gfortran 12.2 executes them, over the
// records of a RecordFile or over one internal record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "textio/read_status.h"
#include "textio/record_file.h"

namespace veltrane::textio {

// One list-directed READ statement. It starts at the beginning of the next record, reads its
// items in order (going on into the following records while it needs values: empty and blank
// records are skipped), and when it ends the rest of its last record is ignored. Separators:
// blank, TAB, comma, semicolon, end of record; "r*value" repeats, "r*" and ",," are null
// values (the item keeps its value and the status is ok); a slash ends the statement (every
// later item keeps its value, status ok). After an error or an end of file every later item
// returns the same status and is left unchanged.
// Like gfortran 12.2, where a last record without LF ends the file right after its text:
// a slash that is that record's last character, an "r*" or a number cut short there
// ("1e", "7+", "-") give end_of_file; values stored before a slash stay stored (and the
// repeats of "r*value/" are still handed out). A slash that begins a record reached by
// crossing a record end ends the statement only after the current item has read the value
// glued to it ("1\n/5 6" into three reals gives 1, 5). A repeated value is handed only to
// items of its first item's type ("2*1" into a text and a real is an error); a count above
// 200,000,000 overflows, and a real's count may be a lone point (".*5" reads 5 once).
// NUL, as gfortran pushes it back and loses it: a NUL where a value may begin (after the
// blanks) is skipped and the character after it taken as it is, so "\0 5" is a null then 5;
// inside a value or glued to a closing quote it is an ordinary character.
class ListRead {
 public:
  explicit ListRead(RecordFile& file) : file_(&file) {}
  // A read over one internal record (a command-line argument, for instance); its end is a
  // record end, never the end of a file.
  explicit ListRead(std::string_view internal_record);
  ListRead(const ListRead&) = delete;
  ListRead& operator=(const ListRead&) = delete;

  // Each returns the statement's status after the item. A value may be stored and
  // end_of_file returned together, when a slash at the end of the file follows it.
  ReadStatus integer(std::int32_t& v);  // INTEGER(4): 5, +5, -0; 5. and 1e2 are errors
  ReadStatus real(float& v);            // REAL(4): 1, 1., .5, 1e5, 1.0D5, 1.0+5, Inf, NaN
  ReadStatus text(std::string& v);      // CHARACTER(600): a word or a quoted string, cut at 600,
                                        // stored without trailing blanks
  // A statement with no items: consumes one record (end_of_file when there is none).
  ReadStatus skip();

  ReadStatus status() const { return status_; }
  // True when the last item stored a value; false when it kept its value (a null value, an
  // item after a slash, at an end of file or after an error). An item may store a value
  // and still end the statement in error: "." stores 0.0 then fails, as in gfortran.
  bool stored() const { return stored_; }
  // gfortran's message for the error or end of file that stopped the statement ("Bad real
  // number in item 2 of list input", "End of file"); empty while the status is ok.
  std::string message() const;
  // The 1-based number of the item being read, or that stopped the statement.
  int item() const { return item_; }

 private:
  enum class Fault {
    none,
    end_of_file,
    bad_real,
    bad_integer,
    integer_overflow,
    zero_repeat,
    repeat_overflow,
    bad_string,
    float_read,
    wrong_type
  };
  enum class Type { integer, real, text };
  struct Token {
    std::string_view text;
    bool quoted = false;             // text is the content of a quoted string
    bool at_file_end = false;        // the end of the file directly follows the text
    bool after_point_count = false;  // a real whose repeat count was a lone point
  };
  // The values a repeat count still owes to the next items ("3*5" owes two after the first).
  struct Repeat {
    std::int32_t left = 0;
    bool null = false;       // "r*": null values
    bool quoted = false;     // value is the content of a quoted string
    Type type = Type::real;  // the type of the item that read the value
    std::string value;
  };

  bool next_record();
  bool eat_spaces();
  bool seek_value_start(bool& crossed);
  bool at_file_end() const;
  void end_file_after_value();
  void take_slash();
  void eat_separator();
  bool next_value(Token& t, Type type);
  // The steps of next_value, on the path of every value: inline, and defined (and used) only
  // in list_read.cpp.
  inline bool hand_out_repeat(Token& t, Type type);
  inline bool value_follows();
  inline bool take_repeat_count(Token& t, Type type, std::int32_t& count);
  inline bool take_token(Token& t, Type type);
  inline void keep_repeat(Token& t, Type type, std::int32_t count);
  bool read_quoted();
  void fail(Fault f);

  RecordFile* file_ = nullptr;
  std::string internal_;
  bool internal_pending_ = false;  // the internal record has not been fetched yet
  std::string_view record_;        // the current record (CR before LF removed)
  std::size_t col_ = 0;            // 0-based position in record_
  bool started_ = false;           // the statement's first record has been fetched
  bool unterminated_ = false;      // record_ is the file's last and lacks its LF
  bool slashed_ = false;
  bool late_end_ = false;   // the file ended right after a value (a slash or a lost NUL
                            // was its last character): its repeats are still handed out
  bool comma_sep_ = false;  // the separator after the last value was ',' or ';'
  int item_ = 0;            // 1-based number of the current item
  Repeat repeat_;
  Type wanted_type_ = Type::real;  // the item that refused a repeated value (wrong_type)
  std::string text_;               // the content of the last quoted string
  ReadStatus status_ = ReadStatus::ok;
  Fault fault_ = Fault::none;
  bool stored_ = false;  // the last item stored its value
};

}  // namespace veltrane::textio
