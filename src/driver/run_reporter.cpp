#include "driver/run_reporter.h"

#include <cstdio>

namespace veltrane {

RunReporter::RunReporter(Diagnostics& diagnostics, int total, bool progress, bool quiet, bool sharded)
    : diagnostics_(diagnostics), total_(total), progress_(progress), quiet_(quiet), sharded_(sharded) {}

void RunReporter::committed(const GalaxyJob& job, const GalaxyOutcome& o) {
  if (job.skip || !o.processed) {
    ++summary_.skipped;
  } else {
    ++summary_.processed;
    if (o.status.failed() && o.flow == Flow::go_on) {
      ++summary_.failed;
      failures_.push_back(job.files.arq_synt + "  (" + job.files.log + ")");
    }
  }
  if (!o.warnings.empty()) {
    clear_line();
    for (const std::string& w : o.warnings) diagnostics_.warn(w);
  }
  show(false);
}

void RunReporter::skipped(const GalaxyJob& job) {
  if (job.other_shard) {
    ++summary_.other_shards;
    return;
  }
  ++summary_.skipped;
  show(false);
}

void RunReporter::finish(const std::string& stopped_at) {
  show(true);
  if (shown_) diagnostics_.write("\n");
  if (quiet_) return;
  const int n = summary_.processed;
  diagnostics_.warn(std::to_string(n) + (n == 1 ? " galaxy" : " galaxies") + " processed, " +
                    std::to_string(summary_.failed) + " failed, " + std::to_string(summary_.skipped) + " skipped" +
                    (sharded_ ? ", " + std::to_string(summary_.other_shards) + " in other shards" : ""));
  for (const std::string& f : failures_) diagnostics_.warn("failed: " + f);
  if (!stopped_at.empty()) diagnostics_.warn("the run stopped at " + stopped_at);
}

void RunReporter::clear_line() {
  if (shown_) diagnostics_.write("\r\033[K");
}

void RunReporter::show(bool last) {
  if (!progress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!last && shown_ && now - shown_at_ < std::chrono::milliseconds(200)) return;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const int done = summary_.processed + summary_.skipped;
  const double rate = seconds > 0.0 ? summary_.processed / seconds : 0.0;
  const double left = rate > 0.0 ? (total_ - done) / rate : 0.0;
  char line[160];
  std::snprintf(line, sizeof line, "\r\033[Kveltrane: %d/%d galaxies, %.1f/s, %d:%02d left, %d failed", done, total_,
                rate, int(left) / 60, int(left) % 60, summary_.failed);
  diagnostics_.write(line);
  diagnostics_.flush();
  shown_ = true;
  shown_at_ = now;
}

}  // namespace veltrane
