#include "driver/galaxy_loop.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "cache/input_cache.h"
#include "driver/committer.h"
#include "driver/process.h"
#include "driver/parallel.h"
#include "driver/run_reporter.h"

namespace veltrane {
namespace {

// One model after another in the calling thread: each old log is removed before the model
// reads anything, so its commit needs no second look at its inputs.
LoopEnd run_in_order(Console& console, const RunParams& p, GalaxySource& source, const Selection& selection,
                     InputCache& cache, const Options& options, Committer& committer) {
  const std::unique_ptr<Worker> worker = make_worker(p, options);
  for (int m = 0; m < p.N_models; ++m) {
    GalaxyJob job;
    if (!source.next(job)) return bad_model_record(console);
    selection.mark(job);
    if (job.skip) {
      if (committer.skip(job) == Flow::stop) return {Flow::stop, job.files.arq_synt};
      continue;
    }
    if (!job.too_long) remove_old_log(job.files);
    const GalaxyOutcome outcome = process_galaxy(p, options, job, *worker, cache, committer.carried());
    if (committer.commit(job, outcome) == Flow::stop) return {Flow::stop, job.files.arq_synt};
  }
  return {};
}

}  // namespace

RunSummary run_galaxies(Console& console, Diagnostics& diagnostics, const RunParams& p,
                      std::shared_ptr<GalaxySource> source, const Options& options, SignalGuard& signals,
                      CommitListener* listener) {
  const int n = std::max(p.N_models, 0);
  const Selection selection{int(std::int64_t(n) * (options.shard - 1) / options.shards),
                            int(std::int64_t(n) * options.shard / options.shards),
                            options.skip_existing,
                            p.PrintFil,
                            options.ecsv,
                            listener};
  RunReporter reporter(diagnostics, selection.last - selection.first, options.progress || ::isatty(STDERR_FILENO),
                       options.quiet, options.sharded);
  signals.set_progress_line(reporter.line_on());
  InputCache cache(/*keep=*/!options.literal);
  Committer committer(console, signals, reporter, listener);
  const LoopEnd end =
      options.jobs <= 1 || n <= 1
          ? run_in_order(console, p, *source, selection, cache, options, committer)
          : run_in_parallel(console, p, std::move(source), selection, cache, options, committer);
  reporter.finish(end.flow == Flow::stop ? end.at : "");
  if (end.flow == Flow::stop) throw RunStop(1, "the run stopped at " + end.at);
  return reporter.summary();
}

}  // namespace veltrane
