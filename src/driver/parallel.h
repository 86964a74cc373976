// The galaxy loop with worker threads: a reader takes the galaxy records ahead of the commit
// in a thread of its own (so a commit never waits for input), `jobs` workers process them,
// and the calling thread commits them in galaxy order. A galaxy is computed again at its
// commit when the tables it started from are no longer those the previous galaxy left, or
// when a commit since it started changed one of its input files (the old log its own commit
// removes included) or made one that was missing.
#pragma once

#include <memory>

#include "cache/input_cache.h"
#include "driver/committer.h"
#include "driver/galaxy_loop.h"
#include "driver/state.h"

namespace veltrane {

// The reader, the workers and the committer. Every thread it starts has ended when it
// returns: a reader waiting for standard input is woken through `source`'s cancel().
LoopEnd run_in_parallel(Console& console, const RunParams& p, std::shared_ptr<GalaxySource> source,
                        const Selection& selection, InputCache& cache, const Options& options, Committer& committer);

}  // namespace veltrane
