// What a run says on standard error while it goes: the progress line (on a terminal, or
// asked for with --progress), the models' warnings, and the summary at the end. Both count
// the shard's own galaxies; the galaxies of the other shards are counted apart, and named in
// the summary only when the run was given a shard.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "driver/galaxy_loop.h"
#include "driver/state.h"
#include "support/diagnostics.h"

namespace veltrane {

class RunReporter {
 public:
  // `total`: the models this run takes (its shard); `sharded`: --shard was given.
  RunReporter(Diagnostics& diagnostics, int total, bool progress, bool quiet, bool sharded);

  // A model was committed: counted, its warnings written.
  void committed(const GalaxyJob& job, const GalaxyOutcome& o);
  // A model the run does not take.
  void skipped(const GalaxyJob& job);
  // The end of the run: the last progress line, then the summary (unless quiet), with
  // "the run stopped at `stopped_at`" when it is not empty.
  void finish(const std::string& stopped_at);

  bool line_on() const { return progress_; }
  const RunSummary& summary() const { return summary_; }

 private:
  void clear_line();
  void show(bool last);

  Diagnostics& diagnostics_;
  RunSummary summary_;
  int total_;
  bool progress_, quiet_, sharded_, shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), shown_at_;
  std::vector<std::string> failures_;
};

}  // namespace veltrane
