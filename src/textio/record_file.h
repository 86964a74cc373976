// The record source of the text readers: a text file, standard input or a string, consumed
// record by record as gfortran 12.2 delimits records for formatted and list-directed reads.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace veltrane::textio {

// A text file consumed record by record: a regular file is held whole in memory, standard
// input is read one line at a time as records are asked for. Records end at LF;
// the last record may lack its LF. A formatted read also ends a record at a CR (taking CR LF
// as one end) when its field meets that CR, that is within the field's width and, for a
// numeric field, before a comma; otherwise it skips the rest of the line, CRs included, up to
// its LF. List-directed reads drop a CR just before LF and treat any other CR as a blank.
class RecordFile {
 public:
  // Opens and reads an existing regular file; nullopt when it cannot be opened or read
  // (missing, a directory, no permission), with errno saying why.
  static std::optional<RecordFile> open(const std::string& path);
  // Standard input, read as records are asked for, so a run starts before its input is
  // complete. A record returned stays valid until the next record is asked for.
  static RecordFile from_stdin() { return from_stream(stdin); }
  static RecordFile from_stream(std::FILE* stream);
  static RecordFile from_string(std::string text);

  // True when no record is left (a streaming input waits for its next line or its end).
  bool at_end() {
    read_ahead();
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
  // The whole text of a file or a string, read or not (a streaming input: what is held of it).
  std::string_view contents() const { return data_; }
  // The 1-based number of the record last returned (0 before the first), and its text (valid
  // until the next record is asked for): where a reader says it met a problem.
  long record_number() const { return records_; }
  std::string_view last_record() const {
    std::string_view r = last_;
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.remove_suffix(1);
    return r;
  }

 private:
  explicit RecordFile(std::string data) : data_(std::move(data)) {}
  // The list-directed record at pos_ (not at the end), without consuming it; returns the
  // length it takes with its LF.
  std::size_t peek_list_record(std::string_view& record) const {
    const char* base = data_.data() + pos_;
    const std::size_t left = data_.size() - pos_;
    const void* lf = std::memchr(base, '\n', left);
    std::size_t len = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : left;
    const std::size_t taken = lf ? len + 1 : len;
    if (lf && len > 0 && base[len - 1] == '\r') --len;
    record = std::string_view(base, len);
    return taken;
  }
  // Consumes a record found by peek_list_record.
  void consume(std::size_t length) {
    last_ = std::string_view(data_).substr(pos_, length);
    pos_ += length;
    unterminated_ = data_[pos_ - 1] != '\n';
    ++records_;
  }
  // The plain-number fast path peeks at a record and consumes it only when it takes it.
  friend bool read_plain_reals(RecordFile& file, std::span<float> out);
  // Streaming: drops the records already consumed and reads until a whole line (or the end
  // of the input) follows the current position.
  void read_ahead();
  std::string data_;
  std::size_t pos_ = 0;
  std::FILE* stream_ = nullptr;  // the input still being read, if any
  bool unterminated_ = false;
  long records_ = 0;       // records returned so far
  std::string_view last_;  // the last of them, as it stands in data_
};

}  // namespace veltrane::textio
