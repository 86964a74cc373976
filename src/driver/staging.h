// Tables written ahead of their commit. A worker writes a galaxy's tables to new temporary
// files of their directories as soon as it has them; the commit, in galaxy order, only
// renames them to their final names. A final name is therefore never written out of order,
// and a temporary file that no commit takes (the run stops, a signal ends it, the galaxy is
// computed again) is removed: every one is registered from its creation to its rename.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "driver/state.h"

namespace veltrane {

// The name of the attempt-th temporary file of process `pid`: "." and seven base-36 digits,
// five of the process number and two of the attempt (taken modulo 36²). Eight bytes, never
// more than the name of a table it stands for (".MAG.out" after an empty galaxy name is the
// shortest), so a name that fits the file system's limit always has a temporary name too.
std::string temporary_name(unsigned pid, unsigned attempt);

// `text` to `path` through a new temporary file of the same directory (tried over every
// attempt number, O_EXCL: never over anything that exists) and a rename; only the file this
// call created is removed, on any failure. False when the table could not be written.
bool write_atomically(const std::string& path, const std::string& text);

// The temporary files of this process that no commit has taken yet. Thread-safe.
class TemporaryFiles {
 public:
  // Attempt numbers below this are the workers'; write_atomically, which tries them all,
  // always finds one of the others free, however many files the workers hold.
  static constexpr unsigned kStagingAttempts = 1024;

  // Writes `text` to a new temporary file in the directory of `final_path` (registered
  // before it exists); its path, or nullopt when it could not be created or written (then
  // nothing of it is left).
  std::optional<std::string> write(const std::string& final_path, std::string_view text);
  // Renames the temporary file `tmp` to `final_path`; on failure it is removed. Either way it
  // is no longer registered.
  bool rename(const std::string& tmp, const std::string& final_path);
  // Removes the temporary file `tmp` (not committed).
  void discard(const std::string& tmp);
  // Removes every registered file.
  void discard_all();
  // Removes every registered file and creates no other: for a process about to exit.
  void close();

 private:
  std::mutex mutex_;
  std::set<std::string> live_;
  unsigned next_ = 0;  // the attempt number tried first by the next write
  bool closed_ = false;
};

// The temporary files holding a galaxy's tables, in the order the commit writes them:
// ".MAG.out", ".SPC.out", ".mag.ecsv", ".spc.ecsv", then its problem log (kLog); empty where
// a file is not staged (none to write, or it could not be written ahead: the commit then
// writes it itself).
struct StagedTables {
  static constexpr std::size_t kLog = 4;
  std::array<std::string, 5> tmp;
  TemporaryFiles* temps = nullptr;  // where they are registered
};

// The (text, final path) of each table `o` asks for, in the commit's order; a null text where
// it writes none.
std::array<std::pair<const std::string*, const std::string*>, 4> tables_of(const GalaxyOutcome& o,
                                                                           const GalaxyFiles& files);

// Writes the tables and the problem log of a processed galaxy that does not stop the run to
// temporary files.
StagedTables stage_tables(const GalaxyOutcome& o, const GalaxyFiles& files, TemporaryFiles& temps);

// Removes the temporary files of `staged` that no commit took.
void discard_staged(StagedTables& staged);

}  // namespace veltrane
