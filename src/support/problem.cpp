#include "support/problem.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace veltrane {

std::string Problem::where_and_why() const {
  std::string s = file;
  if (record > 0) s += (s.empty() ? "record " : " record ") + std::to_string(record);
  if (record > 0 && item > 0) s += ", item " + std::to_string(item);
  if (!s.empty()) s += ": ";
  return s + reason;
}

std::string system_reason() { return std::strerror(errno); }

std::string number_text(float v) {
  if (std::isnan(v)) return "nan";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string quoted_record(std::string_view text, std::size_t width) {
  if (text.size() <= width) return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, width)) + "...'";
}

Problem read_problem(const std::string& path, const textio::RecordFile& file, textio::ReadStatus status,
                     const textio::ListRead* r, std::string_view expected) {
  Problem p;
  p.file = path;
  if (status == textio::ReadStatus::end_of_file) {
    p.record = file.record_number() + 1;
    p.reason = "the file ends before " + std::string(expected);
    return p;
  }
  p.record = file.record_number();
  p.item = r != nullptr ? r->item() : 0;
  p.reason = "expected " + std::string(expected) + ", found " + quoted_record(file.last_record());
  return p;
}

}  // namespace veltrane
