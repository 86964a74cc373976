// Inputs that did not change are not read again: the parsed SSP base files and the
// calibrated filter set are kept between galaxies, keyed by path and by each file's identity
// (device, inode, size, modification time), and read again when any of these changes. What
// is kept are values (parsed files, a filter set with its problems), never console text; a
// load taken from the cache leaves exactly what reading it would (listing, reports, status,
// the saved interpolation bracket). Thread-safe: the workers of a run share one cache.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "readers/ssp_files.h"
#include "support/report.h"
#include "support/run_stop.h"

namespace veltrane {

struct FileIdentity {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t mtime_ns = 0;
  bool exists = false;  // false: no file (or not a regular one) at the path
  bool operator==(const FileIdentity&) const = default;
};
// What is at `path` now.
FileIdentity identity_of(const std::string& path);
// A regular file (or a link to one) is at `path`.
inline bool regular_file_at(const std::string& path) { return identity_of(path).exists; }

// The files a galaxy read, with the identity each had when it was read.
using InputRecord = std::vector<std::pair<std::string, FileIdentity>>;

class InputCache {
 public:
  // keep = false: nothing is kept, every file is read again (the reference behaviour).
  // trust = true: the files do not change while the cache lives (--fixed-inputs): a file kept
  // is not looked at again, so a galaxy costs no file-system operation on the inputs kept.
  explicit InputCache(bool keep = true, bool trust = false) : keep_(keep), trust_(keep && trust) {}

  // A file the run is about to replace or remove: a trusting cache forgets what it keeps of
  // the file of identity `id` (by device and inode, whatever its path), so the galaxies after
  // read it again. Does nothing otherwise (the identities are checked then anyway).
  void forget(const FileIdentity& id);

  // One galaxy's view of the cache: the base reader's source, the filter loader, and the list
  // of files the galaxy read.
  class Session : public BaseSource {
   public:
    // record = false: the files read are not listed (read() stays empty).
    explicit Session(InputCache& cache, bool record = true) : cache_(cache), record_(record) {}
    std::shared_ptr<const BaseFile> base_file(const std::string& path) override;
    std::shared_ptr<const SspFile> ssp_file(const std::string& path) override;
    std::shared_ptr<const BaseTables> tables(std::span<const std::shared_ptr<const SspFile>> ssps) override;
    // Whether a file is at `path`; a base file kept by a trusting cache is, without a look.
    bool exists(const std::string& path) override;
    // ReadFilters through the cache, for a galaxy that has not failed: a hit reports the
    // load it stands for (its listing and problems, from the value) and leaves its saved
    // bracket. A load that stops the run is not kept.
    std::shared_ptr<const FilterLoad> filters(ReportContext& report, std::string_view fil_dir, Rule rule);
    // band_on_grid of every increasing filter of `set` on b_lambda(1..n) of `tables`.
    std::shared_ptr<const std::vector<Band>> bands(const std::shared_ptr<const BaseTables>& tables, int n,
                                                   const std::shared_ptr<const FilterSet>& set);
    // Opens a file read outside the cache (the synthesis result) and records it with its
    // identity as opened; nullopt when it cannot be (errno says why).
    std::optional<textio::RecordFile> open(const std::string& path);
    // The list is written over `buffer`, whose strings keep their storage (a galaxy's outcome
    // hands back the list of the galaxy before: no allocation once the paths fit).
    void reuse(InputRecord&& buffer) {
      read_ = std::move(buffer);
      listed_ = 0;
    }
    std::span<const InputRecord::value_type> read() const { return {read_.data(), listed_}; }
    InputRecord take_read() {
      read_.resize(listed_);
      return std::move(read_);
    }

   private:
    friend class InputCache;
    // Lists a file read, when the session records.
    void note(const std::string& path, const FileIdentity& id) {
      if (!record_) return;
      if (listed_ < read_.size()) {
        read_[listed_].first.assign(path);
        read_[listed_].second = id;
      } else {
        read_.emplace_back(path, id);
      }
      ++listed_;
    }
    InputCache& cache_;
    bool record_;
    InputRecord read_;
    std::size_t listed_ = 0;  // the first listed_ entries of read_ are this session's
  };

 private:
  template <class T>
  struct Entry {
    FileIdentity id;
    std::shared_ptr<const T> value;
  };
  struct FilterEntry {
    std::string dir;
    Rule rule = Rule::T;
    std::shared_ptr<const InputRecord> files;
    std::shared_ptr<const FilterLoad> load;
    int bracket = 1;
  };
  struct TablesEntry {
    std::vector<const SspFile*> key;
    std::shared_ptr<const BaseTables> tables;
  };
  struct BandsEntry {  // keeps its keys alive, so their addresses are never reused
    std::shared_ptr<const BaseTables> tables;
    int n;
    std::shared_ptr<const FilterSet> set;
    std::shared_ptr<const std::vector<Band>> bands;
  };
  template <class T, class Parse>
  std::shared_ptr<const T> parsed(std::unordered_map<std::string, Entry<T>>& map, const std::string& path,
                                  Session& session, Parse parse);

  bool keep_;
  bool trust_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry<BaseFile>> base_files_;
  std::unordered_map<std::string, Entry<SspFile>> ssp_files_;
  std::vector<FilterEntry> filter_sets_;
  std::vector<TablesEntry> tables_;
  std::vector<BandsEntry> bands_;
};

}  // namespace veltrane
