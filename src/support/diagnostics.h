// Standard error: the one writer of everything a run says beside its console (warnings, the
// usage after a misuse, the progress line, the summary). Standard output stays the console
// of the models; nothing here reaches it.
#pragma once

#include <cstdio>
#include <string_view>

namespace veltrane {

class Diagnostics {
 public:
  explicit Diagnostics(std::FILE* err = stderr) : err_(err) {}

  // "veltrane: " and `text`, on a line of its own.
  void warn(std::string_view text);
  // `text` as it is (whole lines, or the control sequences of a progress line).
  void write(std::string_view text);
  void flush();

 private:
  std::FILE* err_;
};

}  // namespace veltrane
