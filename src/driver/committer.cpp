#include "driver/committer.h"

#include <mutex>

#include "cache/input_cache.h"
#include "driver/process.h"

namespace veltrane {

void Selection::mark(GalaxyJob& job) const {
  job.other_shard = job.index < first || job.index >= last;
  job.skip = job.other_shard || (skip_existing && done(job));
}

// Done by an earlier run: its tables all exist and, when the listener continues an earlier
// record (a catalogue), that record holds it too; with PrintFil 0 the record alone decides.
bool Selection::done(const GalaxyJob& job) const {
  const std::optional<bool> held = listener ? listener->holds(job) : std::nullopt;
  if (!held) return complete(job.files);
  return *held && (PrintFil < 1 || complete(job.files));
}

bool Selection::complete(const GalaxyFiles& f) const {
  if (PrintFil < 1) return false;
  if (!regular_file_at(f.mag) || (ecsv && !regular_file_at(f.mag_ecsv))) return false;
  return PrintFil < 2 || (regular_file_at(f.spc) && (!ecsv || regular_file_at(f.spc_ecsv)));
}

LoopEnd bad_model_record(Console& console) {
  console.say("... ERROR -> Bad or missing model record");
  return {Flow::stop, "a bad galaxy record"};
}

Carried carried_after(const GalaxyOutcome& o, const Carried& actual) {
  return {o.base_replaced ? o.after.base : actual.base, o.filters_replaced ? o.after.filters : actual.filters};
}

Flow Committer::commit(const GalaxyJob& job, const GalaxyOutcome& outcome, StagedTables* staged) {
  std::lock_guard lock(signals_.commit_mutex());
  const Flow flow = commit_galaxy(outcome, job.files, console_, staged);
  console_.flush();
  reporter_.committed(job, outcome);
  carried_ = carried_after(outcome, carried_);
  if (listener_ == nullptr) return flow;
  if (flow == Flow::stop) {
    listener_->stopped_at(job);
    return flow;
  }
  return listener_->committed(job, outcome);
}

Flow Committer::skip(const GalaxyJob& job) {
  reporter_.skipped(job);
  if (listener_ == nullptr || job.other_shard) return Flow::go_on;
  std::lock_guard lock(signals_.commit_mutex());
  return listener_->skipped(job);
}

}  // namespace veltrane
