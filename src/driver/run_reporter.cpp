#include "driver/run_reporter.h"

#include <charconv>
#include <string>
#include <string_view>

namespace veltrane {

RunReporter::RunReporter(Diagnostics& diagnostics, int total, bool progress, bool quiet, bool sharded)
    : diagnostics_(diagnostics), total_(total), progress_(progress), quiet_(quiet), sharded_(sharded) {}

void RunReporter::committed(const GalaxyJob& job, const GalaxyOutcome& o, Flow commit) {
  const bool failed = !job.skip && o.processed && commit == Flow::go_on && o.status.failed();
  if (commit == Flow::stop) {
    // The galaxy at which the run stops is counted apart (stopped()).
  } else if (job.skip || !o.processed) {
    ++summary_.skipped;
  } else {
    ++summary_.processed;
    if (o.status.failed()) {
      ++summary_.failed;
      failures_.push_back(job.files.arq_synt + "  (" + job.files.log + ")");
    }
  }
  if (!o.warnings.empty() || failed) {
    clear_line();
    for (const std::string& w : o.warnings) diagnostics_.warn(w);
    if (failed) diagnostics_.warn("galaxy " + job.files.arq_synt + " failed: " + o.status.cause().where_and_why());
  }
  show(false);
}

void RunReporter::stopped(const std::string& at, const Problem& why) {
  stopped_at_ = at;
  if (why.reason.empty()) return;
  clear_line();
  diagnostics_.warn(why.where_and_why());
}

void RunReporter::skipped(const GalaxyJob& job) {
  if (job.other_shard) {
    ++summary_.other_shards;
    return;
  }
  ++summary_.skipped;
  show(false);
}

void RunReporter::finish() {
  show(true);
  if (shown_) diagnostics_.write("\n");
  if (quiet_) return;
  const int n = summary_.processed;
  const std::string counts = std::to_string(n) + (n == 1 ? " galaxy" : " galaxies") + " processed, " +
                             std::to_string(summary_.failed) + " failed, " + std::to_string(summary_.skipped) +
                             " skipped" +
                             (sharded_ ? ", " + std::to_string(summary_.other_shards) + " in other shards" : "");
  if (stopped_at_.empty()) {
    diagnostics_.warn(counts);
  } else {
    const int left = total_ - (summary_.processed + summary_.skipped) - 1;
    diagnostics_.warn("the run stopped " + stopped_at_ + " (exit status 1); before it " + counts +
                      (left > 0 ? "; " + std::to_string(left) + " not reached" : ""));
  }
  for (const std::string& f : failures_) diagnostics_.warn("failed: " + f);
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
  // "%d/%d galaxies, %.1f/s, %d:%02d left, %d failed", built without printf.
  char number[64];
  const auto text = [&](auto v, auto... format) {
    return std::string_view(number,
                            std::size_t(std::to_chars(number, number + sizeof number, v, format...).ptr - number));
  };
  const int minutes = int(left) / 60, seconds_left = int(left) % 60;
  std::string line = "\r\033[Kveltrane: ";
  line.append(text(done)).append("/").append(text(total_)).append(" galaxies, ");
  line.append(text(rate, std::chars_format::fixed, 1)).append("/s, ").append(text(minutes)).append(":");
  line.append(seconds_left < 10 ? "0" : "").append(text(seconds_left)).append(" left, ");
  line.append(text(summary_.failed)).append(" failed");
  diagnostics_.write(line);
  diagnostics_.flush();
  shown_ = true;
  shown_at_ = now;
}

}  // namespace veltrane
