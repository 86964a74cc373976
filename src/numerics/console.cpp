#include "numerics/console.h"

namespace veltrane {

void Console::line(std::string_view text) {
  if (out_ == nullptr) {
    buffer_.append(text);
    buffer_.push_back('\n');
    return;
  }
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::say(std::string_view text) {
  if (out_ == nullptr) {
    buffer_.append("    ");
    buffer_.append(text);
    buffer_.push_back('\n');
    return;
  }
  std::fwrite("    ", 1, 4, out_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::text(std::string_view records) {
  if (out_ == nullptr) {
    buffer_.append(records);
    return;
  }
  std::fwrite(records.data(), 1, records.size(), out_);
}

void Console::flush() {
  if (out_ != nullptr) std::fflush(out_);
}

}  // namespace veltrane
