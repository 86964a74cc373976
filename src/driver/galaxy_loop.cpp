#include "driver/galaxy_loop.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "cache/input_cache.h"
#include "driver/committer.h"
#include "driver/parallel.h"
#include "driver/process.h"
#include "driver/run_reporter.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// The files a commit is about to replace with the galaxy's tables, forgotten by a trusting
// cache (an input the run writes over is read again after it).
void forget_tables(InputCache& cache, const GalaxyOutcome& o, const GalaxyFiles& files) {
  for (const auto& [text, path] : tables_of(o, files))
    if (text != nullptr) cache.forget(identity_of(*path));
}

// One galaxy after another in the calling thread: each old log is removed before the galaxy
// reads anything, so its commit needs no second look at its inputs.
LoopEnd run_in_order(Console& console, const RunParams& p, GalaxySource& source, const Selection& selection,
                     InputCache& cache, const Options& options, Committer& committer) {
  const std::unique_ptr<Worker> worker = make_worker(p, options);
  GalaxyOutcome outcome;  // reused: its tables are not allocated again
  for (int m = 0; m < p.N_models; ++m) {
    GalaxyJob job;
    if (!source.next(job)) return bad_model_record(console, source.problem(), m);
    selection.mark(job);
    if (job.skip) {
      if (committer.skip(job) == Flow::stop) return {Flow::stop, {}, {}};
      continue;
    }
    if (!job.too_long) cache.forget(remove_old_log(job.files));
    process_galaxy(p, options, job, *worker, cache, committer.carried(), outcome);
    if (options.fixed_inputs) forget_tables(cache, outcome, job.files);
    if (committer.commit(job, outcome) == Flow::stop) return {Flow::stop, {}, {}};
  }
  return {};
}

// The listener completed under the commit lock, so a signal finds it whole or finishes it.
bool finish_listener(SignalGuard& signals, CommitListener& listener) {
  std::lock_guard lock(signals.commit_mutex());
  return listener.finish();
}

// What a run ended by a signal leaves: the galaxies committed (each with its tables or its
// catalogue row whole, nothing half-written), where they are, and how to go on.
std::string farewell(const RunSummary& done, int total, const RunParams& p, const Options& options) {
  const int n = done.processed + done.skipped;
  std::string where;
  if (p.PrintFil > 0)
    where = "tables in " + (options.output_dir.empty() ? textio::used_part(p.path_DIR) : options.output_dir);
  if (!options.catalog.empty()) where += (where.empty() ? "" : ", ") + ("catalogue " + options.catalog);
  return "the run ends after " + std::to_string(n) + " of " + std::to_string(total) + " galaxies" +
         (where.empty() ? "" : " (" + where + ")") + "; run the same command with --skip-existing to go on from there";
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
  signals.set_farewell([&] { return farewell(reporter.summary(), selection.last - selection.first, p, options); });
  struct Withdraw {
    SignalGuard& signals;
    ~Withdraw() { signals.set_farewell({}); }
  } withdraw{signals};
  InputCache cache(/*keep=*/!options.literal, /*trust=*/options.fixed_inputs);
  Committer committer(console, signals, reporter, listener);
  LoopEnd end = options.jobs <= 1 || n <= 1
                    ? run_in_order(console, p, *source, selection, cache, options, committer)
                    : run_in_parallel(console, p, std::move(source), selection, cache, options, committer);
  if (!end.at.empty()) reporter.stopped(end.at, end.why);  // a galaxy record the run cannot read
  if (listener != nullptr && !finish_listener(signals, *listener) && end.flow == Flow::go_on) {
    reporter.stopped(listener->finishing(), {});
    end.flow = Flow::stop;
  }
  reporter.finish();
  if (end.flow == Flow::stop) throw RunStop(1, "the run stopped");
  return reporter.summary();
}

}  // namespace veltrane
