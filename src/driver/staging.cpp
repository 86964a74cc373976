#include "driver/staging.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace veltrane {
namespace {

// Writes all of `text` to the open descriptor `fd` and closes it; false when anything fails.
bool write_and_close(int fd, std::string_view text) {
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) done += std::size_t(n);
    else ok = n < 0 && errno == EINTR;
  }
  return ::close(fd) == 0 && ok;
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

int create_new(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

}  // namespace

std::string temporary_name(unsigned pid, unsigned attempt) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  char name[9] = ".";
  std::uint64_t v = std::uint64_t(pid % (36u * 36 * 36 * 36 * 36)) * (36u * 36) + attempt % (36u * 36);
  for (int i = 7; i >= 1; --i, v /= 36) name[i] = kDigits[v % 36];
  return std::string(name, 8);
}

// An interrupted run never leaves a truncated table under the final name, and the earlier
// table stays whole when the new one cannot be written.
bool write_atomically(const std::string& path, const std::string& text) {
  const std::string dir = directory_of(path);
  const unsigned pid = unsigned(::getpid());
  for (unsigned attempt = 0; attempt < 36u * 36; ++attempt) {
    const std::string tmp = dir + temporary_name(pid, attempt);
    const int fd = create_new(tmp);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (write_and_close(fd, text) && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    const int why = errno;
    ::unlink(tmp.c_str());
    errno = why;  // the caller says why
    return false;
  }
  return false;
}

std::optional<std::string> TemporaryFiles::write(const std::string& final_path, std::string_view text) {
  const std::string dir = directory_of(final_path);
  const unsigned pid = unsigned(::getpid());
  std::string tmp;
  int fd = -1;
  {
    // Created under the lock, so that close() never misses a file being created.
    std::lock_guard lock(mutex_);
    if (closed_) return std::nullopt;
    for (unsigned k = 0; k < kStagingAttempts && fd < 0; ++k) {
      tmp = dir + temporary_name(pid, (next_ + k) % kStagingAttempts);
      fd = create_new(tmp);
      if (fd < 0 && errno != EEXIST) return std::nullopt;
    }
    if (fd < 0) return std::nullopt;
    ++next_;
    live_.insert(tmp);
  }
  if (write_and_close(fd, text)) return tmp;
  discard(tmp);
  return std::nullopt;
}

bool TemporaryFiles::rename(const std::string& tmp, const std::string& final_path) {
  const bool ok = std::rename(tmp.c_str(), final_path.c_str()) == 0;
  const int why = errno;
  std::lock_guard lock(mutex_);
  if (live_.erase(tmp) == 1 && !ok) ::unlink(tmp.c_str());
  errno = why;
  return ok;
}

void TemporaryFiles::discard(const std::string& tmp) {
  std::lock_guard lock(mutex_);
  if (live_.erase(tmp) == 1) ::unlink(tmp.c_str());
}

void TemporaryFiles::discard_all() {
  std::lock_guard lock(mutex_);
  for (const std::string& tmp : live_) ::unlink(tmp.c_str());
  live_.clear();
}

void TemporaryFiles::close() {
  std::lock_guard lock(mutex_);
  for (const std::string& tmp : live_) ::unlink(tmp.c_str());
  live_.clear();
  closed_ = true;
}

std::array<std::pair<const std::string*, const std::string*>, 4> tables_of(const GalaxyOutcome& o,
                                                                           const GalaxyFiles& files) {
  const TableTexts& t = o.tables;
  return {{{t.mag ? &t.mag_text : nullptr, &files.mag},
           {t.spc ? &t.spc_text : nullptr, &files.spc},
           {t.mag_ecsv.empty() ? nullptr : &t.mag_ecsv, &files.mag_ecsv},
           {t.spc_ecsv.empty() ? nullptr : &t.spc_ecsv, &files.spc_ecsv}}};
}

StagedTables stage_tables(const GalaxyOutcome& o, const GalaxyFiles& files, TemporaryFiles& temps) {
  StagedTables staged;
  staged.temps = &temps;
  if (!o.processed || o.flow == Flow::stop) return staged;
  const auto tables = tables_of(o, files);
  for (std::size_t k = 0; k < tables.size(); ++k) {
    const auto& [text, path] = tables[k];
    // A table that could not be written ahead is left to the commit, which reports it.
    if (text) staged.tmp[k] = temps.write(*path, *text).value_or("");
  }
  if (!o.log.empty()) staged.tmp[StagedTables::kLog] = temps.write(files.log, o.log.content().text).value_or("");
  return staged;
}

void discard_staged(StagedTables& staged) {
  for (std::string& tmp : staged.tmp) {
    if (!tmp.empty()) staged.temps->discard(tmp);
    tmp.clear();
  }
}

}  // namespace veltrane
