// The one place that talks to cfitsio: files opened without cfitsio's extended file-name
// syntax (a name holding "[", "!" or "mem://" is just a name), temporary files beside their
// final name, binary-table rows as big-endian bytes.
//
// A FitsFile keeps its first failure as cfitsio keeps its status: every call after it does
// nothing and returns an empty value, so a caller checks failed() where a value decides what
// it does next, and at the end. The reason is in words: the operating system's (strerror)
// where a read or write failed, else what was missing; never cfitsio's own texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog.h"

namespace veltrane::catalog {

// A binary-table column: J (int32), E (float32) or A (text of `repeat` bytes), `repeat`
// elements per row (0: the column is left out of the table).
struct Column {
  std::string name;
  char type = 'E';
  int repeat = 1;
  std::string unit, comment, ucd;
  std::string tform() const;
  std::size_t bytes() const;
};

// Columns with their byte offsets within a row.
struct RowLayout {
  std::vector<Column> columns;  // only those with repeat > 0
  std::vector<std::size_t> offset;
  std::size_t width = 0;  // bytes per row
  void add(Column c);
  // Index of the column called `name`; -1 when absent.
  int find(std::string_view name) const;
};

// Big-endian fields of a row.
void put_i32(unsigned char* p, std::int32_t v);
void put_f32(unsigned char* p, float v);
std::int32_t get_i32(const unsigned char* p);
float get_f32(const unsigned char* p);
// `text` (already printable ASCII) left-adjusted in `width` bytes, NUL-padded: the FITS
// end of a shorter text, which numpy-based readers (astropy, fitsio) drop by themselves.
void put_text(unsigned char* p, std::string_view text, std::size_t width);
// A text field without its trailing blanks and NULs.
std::string_view get_text(const unsigned char* p, std::size_t width);

// Creates a new empty file beside `path` (same directory) whose name starts with "." (so
// shell globs such as *.fits skip it) and is never longer than the final name's last
// component; created exclusively, never over an existing file. Returns its path; empty when
// it cannot (nothing created), `failure` saying why (naming `path`).
std::string create_temporary_beside(const std::string& path, Failure& failure);

// Appends the bytes of `from`, from `offset` to its end, to the end of `to`: in the kernel
// (copy_file_range, a reflink where the file system shares blocks), or through this process
// where the kernel cannot or `in_kernel` is false. The failure names `to`.
Failure append_file(const std::string& from, long long offset, const std::string& to, bool in_kernel = true);

// Renames `from` to `to`; with `replace` false never over a file that exists at `to` (EEXIST
// then). The failure names `to`.
Failure rename_file(const std::string& from, const std::string& to, bool replace);

class FitsFile {
 public:
  // A new FITS file at `tmp` (which create_temporary_beside made, empty): a primary header
  // without data, open for writing.
  static FitsFile create(const std::string& tmp);
  static FitsFile open_read(const std::string& path);
  bool failed() const { return bool(failure_); }
  const Failure& failure() const { return failure_; }
  FitsFile(FitsFile&&) noexcept;
  FitsFile& operator=(FitsFile&&) = delete;  // holders emplace a new one instead
  ~FitsFile();                               // closes without reporting (after a failure)

  // Header of the current HDU. A text is stored as given (callers pass printable ASCII);
  // longer than a card allows, it continues on CONTINUE cards. A float is written in its
  // shortest form that reads back to the same float; NaN and ±Inf as an undefined value.
  void key(const char* name, std::string_view value, const char* comment);
  void key(const char* name, long long value, const char* comment);
  void key(const char* name, float value, const char* comment);
  void key(const char* name, bool value, const char* comment);
  void comment(std::string_view text);
  void date();  // DATE: the UTC date and time of writing
  // The value of a keyword of the current HDU; a failure when absent.
  std::string text(const char* name);  // a text keyword's value (long texts joined)
  long long integer(const char* name);

  // CHECKSUM and DATASUM of the current HDU (written early, they reserve their cards, so
  // that writing them last never makes a header grow over the data that follows it).
  void checksum_here();
  // Appends a binary-table HDU with these columns and no row; it becomes the current HDU,
  // its checksum cards reserved.
  void create_table(const char* extname, const RowLayout& layout);
  void move_to(int hdu);  // 1: primary
  void move_to(const char* extname);
  bool has(const char* extname);
  int hdus();
  // Byte offset in the file where an HDU's header starts.
  long long hdu_start(int hdu);
  long long rows();
  // Rows of the current table as raw bytes: `n` rows from `first` (1-based); writing past
  // the end extends the table.
  void write_rows(long long first, long long n, const unsigned char* bytes, std::size_t row_width);
  void read_rows(long long first, long long n, unsigned char* bytes, std::size_t row_width);
  // The current table's columns as the header states them (name, TFORM, unit).
  std::vector<std::string> column_cards();

  // CHECKSUM and DATASUM of every HDU, written last.
  void write_checksums();
  // Flushes and closes; a failure when what is buffered cannot be written.
  void close();

 private:
  // `path` opened with cfitsio in `mode` (READONLY or READWRITE), no extended-name syntax.
  static FitsFile open_disk(const std::string& path, int mode);
  explicit FitsFile(std::string path) : path_(std::move(path)) {}
  // True when `status` is 0; else keeps the first failure (what failed, the saved errno).
  bool ok(int status, const std::string& what, int error);
  template <class Call>
  bool call(const std::string& what, Call&& run);
  void* handle_ = nullptr;  // cfitsio's fitsfile (fitsio.h stays out of the headers)
  std::string path_;
  Failure failure_;
};

}  // namespace veltrane::catalog
