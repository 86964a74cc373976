// A problem met while a galaxy's inputs are read or its numbers computed, or while a run reads
// its own inputs: where it was met (the file, its record and the item of the read statement),
// the reason in words, and the verbatim lines the console prints for it. The console shows
// the lines where they always stood; standard error and the Python exceptions say where and
// why from the same value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "textio/list_input.h"

namespace veltrane {

struct Problem {
  std::string file;                  // the file (empty: none, a computation)
  long record = 0;                   // its 1-based record (line); 0: the file as a whole
  int item = 0;                      // 1-based item of the record's read statement; 0: none
  std::string reason;                // in words
  std::vector<std::string> console;  // the console lines printed for it, each a whole record

  // "FILE record R, item I: REASON", with the parts that are known.
  std::string where_and_why() const;
};

// The operating system's reason for the last failed call (strerror of errno), in words.
std::string system_reason();

// A number as its shortest text that reads back to the same float ("4020", "1e-05", "nan").
std::string number_text(float v);

// "'TEXT'" cut to `width` characters ("..." after a cut): a record as a message quotes it.
std::string quoted_record(std::string_view text, std::size_t width = 60);

// A read of `file` (named `path`) that stopped: where it stopped and why. `r` is the read
// statement (nullptr for a record skipped whole, or a fixed field), `status` how it ended,
// `expected` what the record was to hold ("two numbers (wavelength, flux)").
// An end of the file names the record that is missing.
Problem read_problem(const std::string& path, const textio::RecordFile& file, textio::ReadStatus status,
                     const textio::ListRead* r, std::string_view expected);

}  // namespace veltrane
