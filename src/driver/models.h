// The model loop: one model after another, or several processed at once by worker threads
// and committed strictly in order, so that the console, the files and the exit status are
// those of the one-at-a-time run.
#pragma once

#include <memory>

#include "cache/input_cache.h"
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

// Processes p.N_models models from `source` with `jobs` threads (1: in this thread).
// Returns the exit status when the run ends early (a stop, a file that cannot be written,
// a bad model record), nothing when every model was processed. `source` outlives the call
// when a reader thread is left waiting for input.
std::optional<int> run_models(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                              int jobs, bool literal);

}  // namespace veltrane
