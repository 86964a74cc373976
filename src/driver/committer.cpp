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

LoopEnd bad_model_record(Console& console, const Problem& why, int index) {
  console.say("... ERROR -> Bad or missing model record");
  return {Flow::stop, "at the record of galaxy " + std::to_string(index + 1), why};
}

Carried carried_after(const GalaxyOutcome& o, const Carried& actual) {
  return {o.base_replaced ? o.after.base : actual.base, o.filters_replaced ? o.after.filters : actual.filters};
}

Flow Committer::commit(const GalaxyJob& job, const GalaxyOutcome& outcome, StagedTables* staged) {
  std::lock_guard lock(signals_.commit_mutex());
  Problem why;
  const Flow flow = commit_galaxy(outcome, job.files, console_, staged, &why);
  console_.flush();
  carried_ = carried_after(outcome, carried_);
  Flow end = flow;
  if (listener_ != nullptr) {
    if (flow == Flow::stop) listener_->stopped_at(job);
    else end = listener_->committed(job, outcome);  // a listener that stops the run says why itself
  }
  reporter_.committed(job, outcome, end);
  if (end == Flow::stop) reporter_.stopped(at(job), why);
  return end;
}

Flow Committer::skip(const GalaxyJob& job) {
  std::lock_guard lock(signals_.commit_mutex());  // the counts are read on a signal, under it
  reporter_.skipped(job);
  if (listener_ == nullptr || job.other_shard) return Flow::go_on;
  if (listener_->skipped(job) == Flow::go_on) return Flow::go_on;
  reporter_.stopped(at(job), {});
  return Flow::stop;
}

std::string Committer::at(const GalaxyJob& job) { return "at galaxy " + job.files.arq_synt; }

}  // namespace veltrane
