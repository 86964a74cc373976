#include "support/console.h"

namespace veltrane {

void Console::line(std::string_view text) {
  this->text(text);
  this->text("\n");
}

void Console::say(std::string_view text) {
  this->text("    ");
  line(text);
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
