// The model loop: one model after another, or several processed at once by worker threads
// and committed strictly in order, so that the console, the files and the exit status are
// those of the one-at-a-time run.
#pragma once

#include <memory>

#include "cache/input_cache.h"
#include "driver/options.h"
#include "driver/signals.h"
#include "driver/state.h"
#include "numerics/console.h"

namespace veltrane {

// Where the model records come from, in order.
class ModelSource {
 public:
  virtual ~ModelSource() = default;
  // The next model; false when its record is missing or cannot be read.
  virtual bool next(ModelJob& job) = 0;
};

// How the model loop ended.
struct RunSummary {
  std::optional<int> status;  // set when the run ended early (a stop, a file that cannot be
                              // written, a bad model record)
  int processed = 0, failed = 0, skipped = 0;
  int other_shards = 0;  // galaxies left to the other shards (--shard)
};

// Processes p.N_models models from `source` (those of the shard, and with --skip-existing
// those whose tables are not all there) with options.jobs threads, committing each under
// the signal guard's lock. The progress line and the summary go to standard error.
// `source` outlives the call when a reader thread is left waiting for input.
RunSummary run_models(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                      const Options& options, SignalGuard& signals);

}  // namespace veltrane
