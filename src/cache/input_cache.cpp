#include "cache/input_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "numerics/interpolation.h"
#include "support/file_check.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

constexpr std::size_t kKept = 4;  // assembled tables and bands kept (most recent first)

FileIdentity identity(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return {};
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size),
          std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, true};
}

// The whole content of a file and its identity as opened; nullopt when it cannot be opened
// or read (missing, a directory, no permission). A file that is not regular (a pipe) has no
// identity and is never kept.
std::optional<std::pair<std::string, FileIdentity>> read_whole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int why = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    errno = why;
    return std::nullopt;
  }
  std::string text;
  if (S_ISREG(st.st_mode)) text.reserve(std::size_t(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0) {
      const int why = errno;
      ::close(fd);
      errno = why;
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(buf, std::size_t(got));
  }
  ::close(fd);
  return std::make_pair(std::move(text), identity(st));
}

}  // namespace

void InputCache::forget(const FileIdentity& id) {
  if (!trust_ || !id.exists) return;
  const auto same = [&](const FileIdentity& kept) { return kept.device == id.device && kept.inode == id.inode; };
  std::lock_guard lock(mutex_);
  std::erase_if(base_files_, [&](const auto& e) { return same(e.second.id); });
  std::erase_if(ssp_files_, [&](const auto& e) { return same(e.second.id); });
  std::erase_if(filter_sets_, [&](const FilterEntry& e) {
    return std::any_of(e.files->begin(), e.files->end(), [&](const auto& f) { return same(f.second); });
  });
}

FileIdentity identity_of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return identity(st);
}

template <class T, class Parse>
std::shared_ptr<const T> InputCache::parsed(std::unordered_map<std::string, Entry<T>>& map, const std::string& path,
                                            Session& session, Parse parse) {
  if (trust_) {
    std::lock_guard lock(mutex_);
    const auto it = map.find(path);
    if (it != map.end()) {
      session.note(path, it->second.id);
      return it->second.value;
    }
  }
  const FileIdentity now = identity_of(path);
  if (now.exists && keep_) {
    std::lock_guard lock(mutex_);
    const auto it = map.find(path);
    if (it != map.end() && it->second.id == now) {
      session.note(path, now);
      return it->second.value;
    }
  }
  auto file = read_whole(path);
  if (!file) {
    const int why = errno;
    session.note(path, FileIdentity{});
    errno = why;  // the reader says why
    return nullptr;
  }
  auto value = std::make_shared<const T>(parse(file->first));
  session.note(path, file->second);
  if (file->second.exists && keep_) {
    std::lock_guard lock(mutex_);
    map[path] = {file->second, value};
  }
  return value;
}

std::shared_ptr<const BaseFile> InputCache::Session::base_file(const std::string& path) {
  return cache_.parsed(cache_.base_files_, path, *this, parse_base_file);
}

std::shared_ptr<const SspFile> InputCache::Session::ssp_file(const std::string& path) {
  return cache_.parsed(cache_.ssp_files_, path, *this, parse_ssp_file);
}

std::optional<textio::RecordFile> InputCache::Session::open(const std::string& path) {
  auto file = read_whole(path);
  const int why = errno;
  note(path, file ? file->second : FileIdentity{});
  if (!file) {
    errno = why;
    return std::nullopt;
  }
  return textio::RecordFile::from_string(std::move(file->first));
}

bool InputCache::Session::exists(const std::string& path) {
  if (cache_.trust_) {
    std::lock_guard lock(cache_.mutex_);
    if (cache_.base_files_.contains(std::string(textio::trim_right(path)))) return true;
  }
  return file_exists(path);
}

std::shared_ptr<const BaseTables> InputCache::Session::tables(std::span<const std::shared_ptr<const SspFile>> ssps) {
  std::vector<const SspFile*> key;
  key.reserve(ssps.size());
  for (const auto& s : ssps) key.push_back(s.get());
  {
    std::lock_guard lock(cache_.mutex_);
    for (const TablesEntry& e : cache_.tables_)
      if (e.key == key) return e.tables;
  }
  auto tables = assemble_base(ssps);
  std::lock_guard lock(cache_.mutex_);
  auto& kept = cache_.tables_;
  kept.insert(kept.begin(), TablesEntry{std::move(key), tables});
  if (kept.size() > kKept) kept.pop_back();
  return tables;
}

std::shared_ptr<const FilterLoad> InputCache::Session::filters(ReportContext& report, std::string_view fil_dir,
                                                               Rule rule) {
  const std::string dir(fil_dir);
  const auto same_key = [&](const FilterEntry& e) { return e.dir == dir && e.rule == rule; };
  // A hit: the entry's load and bracket, and its files when the session records them (the
  // entries are replaced whole, never changed, so what is taken here stays as it was).
  std::shared_ptr<const FilterLoad> load;
  int bracket = 1;
  std::shared_ptr<const InputRecord> files;
  if (cache_.keep_) {
    std::lock_guard lock(cache_.mutex_);
    for (const FilterEntry& e : cache_.filter_sets_) {
      if (!same_key(e)) continue;
      load = e.load;
      bracket = e.bracket;
      files = e.files;
    }
  }
  if (load && !cache_.trust_ && !std::all_of(files->begin(), files->end(), [](const auto& f) {
        return f.second.exists && identity_of(f.first) == f.second;
      }))
    load.reset();
  if (!load) {
    FilterEntry e;
    e.dir = dir;
    e.rule = rule;
    auto opened = std::make_shared<InputRecord>();
    const FileOpener open = [&opened](const std::string& path) -> std::optional<textio::RecordFile> {
      auto file = read_whole(path);
      opened->emplace_back(path, file ? file->second : FileIdentity{});
      if (!file) return std::nullopt;
      return textio::RecordFile::from_string(std::move(file->first));
    };
    auto fresh = std::make_shared<const FilterLoad>(load_filter_set(dir, rule, open));
    if (report_filter_load(report, *fresh) == Flow::stop) return fresh;
    e.files = opened;
    e.load = fresh;
    e.bracket = saved_bracket();
    {
      std::lock_guard lock(cache_.mutex_);
      auto& sets = cache_.filter_sets_;
      std::erase_if(sets, same_key);
      sets.push_back(std::move(e));
    }
    for (const auto& [path, id] : *opened) note(path, id);
    return fresh;
  }
  report_filter_load(report, *load);
  set_saved_bracket(bracket);
  for (const auto& [path, id] : *files) note(path, id);
  return load;
}

std::shared_ptr<const std::vector<Band>> InputCache::Session::bands(const std::shared_ptr<const BaseTables>& tables,
                                                                    int n,
                                                                    const std::shared_ptr<const FilterSet>& set) {
  {
    std::lock_guard lock(cache_.mutex_);
    for (const BandsEntry& e : cache_.bands_)
      if (e.tables == tables && e.n == n && e.set == set) return e.bands;
  }
  auto bands = std::make_shared<std::vector<Band>>(std::size_t(std::clamp(set->Nfilters, 0, kMaxFilters)));
  const std::span<const float> grid(tables->b_lambda.data(), std::size_t(n));
  const int saved = saved_bracket();
  for (std::size_t i = 0; i < bands->size(); ++i)
    if (set->increasing[i]) (*bands)[i] = band_on_grid(grid, set->lambda(int(i)), set->transmission(int(i)));
  set_saved_bracket(saved);
  std::lock_guard lock(cache_.mutex_);
  auto& kept = cache_.bands_;
  kept.insert(kept.begin(), BandsEntry{tables, n, set, bands});
  if (kept.size() > kKept) kept.pop_back();
  return bands;
}

}  // namespace veltrane
