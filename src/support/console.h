// The console: every line the system prints goes through one Console, so tests can
// capture it. Lines are written exactly as given (callers add the four-blank indent).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace veltrane {

// The line of 65 "?" that frames the warnings of the base listing and the filter-set stops.
inline constexpr std::string_view kWarningBar = "?????????????????????????????????????????????????????????????????";

class Console {
 public:
  // Writes to `out` (standard output by default).
  explicit Console(std::FILE* out = stdout) : out_(out) {}
  // Captures into a string instead of writing (for tests).
  static Console capture() { return Console(nullptr); }

  // One record: `text` followed by a newline.
  void line(std::string_view text);
  // The common "(4x,a)" record: four blanks, then `text`.
  void say(std::string_view text);
  // Text already made of whole records (a captured console).
  void text(std::string_view records);

  const std::string& captured() const { return buffer_; }
  // The captured text, taken out (the console holds nothing afterwards).
  std::string take() { return std::exchange(buffer_, std::string()); }
  void clear() { buffer_.clear(); }
  void flush();

 private:
  std::FILE* out_;
  std::string buffer_;
};

}  // namespace veltrane
