#include "textio/record_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace veltrane::textio {

std::optional<RecordFile> RecordFile::open(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  struct stat st {};
  if (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    std::fclose(f);
    errno = err;  // the caller may say why
    return std::nullopt;
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  std::size_t got = 0;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, got);
  const bool bad = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  errno = err;
  if (bad) return std::nullopt;
  return RecordFile(std::move(data));
}

RecordFile RecordFile::from_stream(std::FILE* stream) {
  RecordFile f{std::string()};
  f.stream_ = stream;
  return f;
}

void RecordFile::read_ahead() {
  if (stream_ == nullptr) return;
  if (pos_ > 0) {
    data_.erase(0, pos_);
    pos_ = 0;
  }
  char* line = nullptr;
  std::size_t capacity = 0;
  while (std::memchr(data_.data(), '\n', data_.size()) == nullptr) {
    const ssize_t got = ::getline(&line, &capacity, stream_);
    if (got <= 0) {
      stream_ = nullptr;  // end of the input (or an input error, taken as its end)
      break;
    }
    data_.append(line, static_cast<std::size_t>(got));
  }
  std::free(line);
}

RecordFile RecordFile::from_string(std::string text) { return RecordFile(std::move(text)); }

bool RecordFile::next_formatted(std::string_view& record, std::size_t width, bool comma) {
  if (at_end()) return false;
  const std::string_view rest = std::string_view(data_).substr(pos_);
  const std::size_t lf = rest.find('\n');
  std::string_view field = rest.substr(0, std::min(lf, width));
  if (comma) field = field.substr(0, field.find(','));
  const std::size_t cr = field.find('\r');
  ++records_;
  if (cr != std::string_view::npos) {  // the field meets the CR: the record ends there
    record = last_ = rest.substr(0, cr);
    pos_ += cr + (cr + 1 == lf ? 2 : 1);
    unterminated_ = false;
    return true;
  }
  unterminated_ = lf == std::string_view::npos;
  record = last_ = rest.substr(0, lf);
  pos_ += unterminated_ ? rest.size() : lf + 1;
  return true;
}

bool RecordFile::next_list(std::string_view& record) {
  if (at_end()) return false;
  consume(peek_list_record(record));
  return true;
}

}  // namespace veltrane::textio
