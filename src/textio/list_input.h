// Input as gfortran 12.2 reads it: list-directed ("free-format") READ statements over the
// records of a text file or of standard input, and the fixed fields (i15), (a) and (e15.5).
// A read reports what happened in the manner of std::from_chars: ok, end of file (no such
// value) or error (a value of the wrong form). Nothing throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veltrane::textio {

enum class ReadStatus { ok, end_of_file, error };

// A text file consumed record by record: a regular file is held whole in memory, standard
// input is read one line at a time as records are asked for. Records end at LF;
// the last record may lack its LF. A formatted read also ends a record at a CR (taking CR LF
// as one end) when its field meets that CR, that is within the field's width and, for a
// numeric field, before a comma; otherwise it skips the rest of the line, CRs included, up to
// its LF. List-directed reads drop a CR just before LF and treat any other CR as a blank.
class RecordFile {
 public:
  // Opens and reads an existing regular file; nullopt when it cannot be opened or read
  // (missing, a directory, no permission).
  static std::optional<RecordFile> open(const std::string& path);
  // Standard input, read as records are asked for, so a run starts before its input is
  // complete. A record returned stays valid until the next record is asked for.
  static RecordFile from_stdin() { return from_stream(stdin); }
  static RecordFile from_stream(std::FILE* stream);
  static RecordFile from_string(std::string text);

  // True when no record is left (a streaming input waits for its next line or its end).
  bool at_end() {
    fill();
    return pos_ >= data_.size();
  }

  // The next record for a formatted read of one field `width` characters wide (`comma`: a
  // numeric field, which a comma ends); false at end of file. Only the field's characters of
  // the record are meaningful.
  bool next_formatted(std::string_view& record, std::size_t width, bool comma);
  // The next record for a list-directed read; false at end of file.
  bool next_list(std::string_view& record);
  // True when the record last returned is the file's last and has no LF (for a formatted
  // record: no CR or LF) after it, so that the end of the file directly follows its text.
  bool last_unterminated() const { return unterminated_; }

 private:
  explicit RecordFile(std::string data) : data_(std::move(data)) {}
  // The list-directed record at pos_ (not at the end); returns the length it takes with its LF.
  std::size_t list_record(std::string_view& record) const;
  void take(std::size_t length);  // consumes a record found by list_record
  friend bool read_plain_reals(RecordFile& file, std::span<float> out);
  // Streaming: drops the records already consumed and reads until a whole line (or the end
  // of the input) follows the current position.
  void fill();
  std::string data_;
  std::size_t pos_ = 0;
  std::FILE* stream_ = nullptr;  // the input still being read, if any
  bool unterminated_ = false;
};

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

 private:
  enum class Fault { none, end_of_file, bad_real, bad_integer, integer_overflow, zero_repeat,
                     repeat_overflow, bad_string, float_read, wrong_type };
  enum class Type { integer, real, text };
  struct Token {
    std::string_view text;
    bool quoted = false;       // text is the content of a quoted string
    bool at_file_end = false;  // the end of the file directly follows the text
    bool point_taken = false;  // a real whose repeat count was a lone point
  };
  bool fetch();
  bool eat_spaces();
  bool seek(bool& crossed);
  bool at_file_end() const;
  void end_after_value();
  void take_slash();
  void eat_separator();
  bool next_value(Token& t, Type type);
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
  bool late_end_ = false;          // the file ended right after a value (a slash or a lost NUL
                                   // was its last character): its repeats are still handed out
  bool comma_sep_ = false;         // the separator after the last value was ',' or ';'
  int item_ = 0;                   // 1-based number of the current item
  int repeat_left_ = 0;
  bool repeat_null_ = false;
  bool repeat_quoted_ = false;
  Type repeat_type_ = Type::real;  // the type of the item that read the repeated value
  Type wanted_type_ = Type::real;  // the item that refused it (wrong_type)
  std::string repeat_value_;
  std::string text_;               // the content of the last quoted string
  ReadStatus status_ = ReadStatus::ok;
  Fault fault_ = Fault::none;
  bool stored_ = false;            // the last item stored its value
};

// A fast path for one list-directed READ of out.size() REAL(4) items (1 to 64), taken when the
// next record is plain: at least that many tokens, each an optional sign, digits with at most
// one point (one digit at least), then optionally e or E, an optional sign and digits,
// separated by blanks, TABs or CRs; what follows the last token and its blanks is ignored,
// as ListRead does, unless it begins with a comma, semicolon, slash or NUL. Stores exactly
// what ListRead would, consumes the record and returns true. Otherwise consumes nothing,
// changes nothing and returns false: the caller then uses ListRead.
bool read_plain_reals(RecordFile& file, std::span<float> out);

// One formatted READ of one record with the given fixed field; the record is consumed.
// (i15) and (e15.5) take a comma as the end of the field; when the comma is the first
// character of the file's last record and no LF follows that record, the value 0 is stored
// and end_of_file returned (gfortran's skip of the rest of the record meets the end of the
// file before any of the record was read).
// (i15): blanks ignored anywhere, an all-blank field is 0, a TAB is an error, a NUL ends the
// digits; a sign that ends the field is an error, a blank after it enough ("- ," is 0).
ReadStatus read_i15(RecordFile& file, std::int32_t& v);
// (a) into CHARACTER(600): the record's first 600 characters, leading blanks kept, stored
// without trailing blanks.
ReadStatus read_a600(RecordFile& file, std::string& v);
// (e15.5): blanks ignored, no decimal point means the last 5 mantissa digits are fractional.
// The decimal exponent applied to the digits (the written one, less 5 without a point, in
// gfortran's wrapping 32-bit arithmetic) must lie within ±9999: "1E-9995" is an error. An
// exponent sign followed by blanks only is the exponent 0 ("1.5E- ," is 1.5), one that ends
// the field an error. Inf, Infinity and NaN may be followed by a blank and letters or digits
// ("Inf x"); NaN also by one "(...)". A TAB or NUL in the field is an error.
ReadStatus read_e15_5(RecordFile& file, float& v);
// The same fields applied to a text instead of a file record (command-line arguments).
ReadStatus parse_i15(std::string_view field, std::int32_t& v);
ReadStatus parse_e15_5(std::string_view field, float& v);
// The first character of the next formatted record (blank for an empty record).
ReadStatus read_first_char(RecordFile& file, char& c);

}  // namespace veltrane::textio
