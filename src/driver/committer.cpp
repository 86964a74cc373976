#include "driver/committer.h"

#include <mutex>

#include "cache/input_cache.h"
#include "driver/model.h"

namespace veltrane {

void Selection::mark(ModelJob& job) const {
  job.other_shard = job.index < first || job.index >= last;
  job.skip = job.other_shard || (skip_existing && complete(job.files));
}

bool Selection::complete(const ModelFiles& f) const {
  if (PrintFil < 1) return false;
  if (!regular_file_at(f.mag) || (ecsv && !regular_file_at(f.mag_ecsv))) return false;
  return PrintFil < 2 || (regular_file_at(f.spc) && (!ecsv || regular_file_at(f.spc_ecsv)));
}

LoopEnd bad_model_record(Console& console) {
  console.say("... ERROR -> Bad or missing model record");
  return {Flow::stop, "a bad galaxy record"};
}

Carried carried_after(const ModelOutcome& o, const Carried& actual) {
  return {o.base_replaced ? o.after.base : actual.base, o.filters_replaced ? o.after.filters : actual.filters};
}

Flow Committer::commit(const ModelJob& job, const ModelOutcome& outcome, StagedTables* staged) {
  std::lock_guard lock(signals_.commit_mutex());
  const Flow flow = commit_model(outcome, job.files, console_, staged);
  console_.flush();
  reporter_.committed(job, outcome);
  carried_ = carried_after(outcome, carried_);
  if (flow == Flow::go_on && listener_ != nullptr) listener_->committed(job, outcome);
  return flow;
}

}  // namespace veltrane
