// The galaxy loop: one galaxy after another, or several processed at once by worker threads
// and committed strictly in order, so that the console, the files and the exit status are
// those of the one-at-a-time run. Its pieces: the source of the galaxy records, the reader
// that takes them ahead (parallel.h), the workers that process them (process_galaxy), and
// the committer that writes them in galaxy order (committer.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "driver/options.h"
#include "driver/signals.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/diagnostics.h"

namespace veltrane {

// Where the galaxy records come from, in order.
class GalaxySource {
 public:
  virtual ~GalaxySource() = default;
  // The next galaxy; false when its record is missing or cannot be read (problem() says
  // where and why).
  virtual bool next(GalaxyJob& job) = 0;
  virtual Problem problem() const { return {}; }
  // The run needs no more records: a next() waiting for input (standard input) returns
  // soon, false unless what had come holds its record, and so does every later one.
  virtual void cancel() {}
};

// Told of every galaxy of the run's block, in galaxy order, in the committing thread under
// the commit lock (a survey catalogue adds its row here): of a galaxy written, after its
// files; of a galaxy skipped; of the galaxy that ends the run. Flow::stop from committed() or
// skipped() ends the run at that galaxy: what the listener keeps cannot be written, and it
// has said so on the console.
class CommitListener {
 public:
  virtual ~CommitListener() = default;
  virtual Flow committed(const GalaxyJob& job, const GalaxyOutcome& outcome) = 0;
  // Skipped by --skip-existing (never a galaxy of another shard).
  virtual Flow skipped(const GalaxyJob&) { return Flow::go_on; }
  // The run ends at this galaxy: its stop, or one of its files that cannot be written.
  virtual void stopped_at(const GalaxyJob&) {}
  // With --skip-existing: whether an earlier record that the listener continues holds
  // galaxy `job` as done (then the galaxy is skipped once its tables, if any, exist too);
  // nullopt when there is no such record and the tables alone decide. Called from the thread
  // that reads the galaxy records, never changes the listener.
  virtual std::optional<bool> holds(const GalaxyJob&) const { return std::nullopt; }
  // The loop is over (after its last galaxy or a stop), before the summary: what the listener
  // keeps is completed; false when that fails (the listener has said why), which stops the
  // run there. Later calls give the first one's answer.
  virtual bool finish() { return true; }
  // What the summary names when finish() fails ("finishing its catalogue FILE").
  virtual std::string finishing() const { return "finishing"; }
};

// How many galaxies the galaxy loop processed, failed and skipped.
struct RunSummary {
  int processed = 0, failed = 0, skipped = 0;
  int other_shards = 0;  // galaxies left to the other shards (--shard)
};

// Processes p.N_models galaxies from `source` (those of the shard, and with --skip-existing
// those whose tables are not all there) with options.jobs threads, committing each under
// the signal guard's lock. The progress line and the summary go to `diagnostics`. When the
// run ends early (a stop of a galaxy, a file that cannot be written, a bad galaxy record) it
// prints the summary and throws RunStop(1).
RunSummary run_galaxies(Console& console, Diagnostics& diagnostics, const RunParams& p,
                        std::shared_ptr<GalaxySource> source, const Options& options, SignalGuard& signals,
                        CommitListener* listener = nullptr);

}  // namespace veltrane
