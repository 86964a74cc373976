// What a run says on standard error while it goes: the progress line (on a terminal, or
// asked for with --progress), the galaxies' warnings and failures, what stopped the run, and
// the summary at the end. Both count the shard's own galaxies; the galaxies of the other
// shards are counted apart, and named in the summary only when the run was given a shard.
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
  // `total`: the galaxies this run takes (its shard); `sharded`: --shard was given.
  RunReporter(Diagnostics& diagnostics, int total, bool progress, bool quiet, bool sharded);

  // A galaxy was committed (`commit`: stop when the run stops at it): counted, its warnings
  // written, and a galaxy that failed said with the problem that failed it.
  void committed(const GalaxyJob& job, const GalaxyOutcome& o, Flow commit);
  // A galaxy the run does not take.
  void skipped(const GalaxyJob& job);
  // The run stops `at` ("at galaxy X", "at the record of galaxy N", "finishing its
  // catalogue FILE"): `why` said at once (when it has a reason;
  // a listener that stops the run says its own), the stop kept for the summary.
  void stopped(const std::string& at, const Problem& why);
  // The end of the run: the last progress line, then the summary (unless quiet): the counts,
  // or, when the run stopped, where it stopped and the counts before it.
  void finish();

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
  std::string stopped_at_;  // empty: the run did not stop
};

}  // namespace veltrane
