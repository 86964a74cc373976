#include "support/diagnostics.h"

#include <string>

namespace veltrane {

void Diagnostics::warn(std::string_view text) {
  std::string line = "veltrane: ";
  line.append(text).push_back('\n');
  write(line);  // one write: a line never interleaves with another process's
}

void Diagnostics::write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), err_); }

void Diagnostics::flush() { std::fflush(err_); }

}  // namespace veltrane
