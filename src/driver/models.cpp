#include "driver/models.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/model.h"

namespace veltrane {
namespace {


// Which models this run takes: the shard's block of the list, less those whose tables all
// exist when asked to skip them.
struct Selection {
  int first = 0, last = 0;  // [first, last)
  bool skip_existing = false;
  int PrintFil = 0;
  bool ecsv = false;
  void mark(ModelJob& job) const {
    job.other_shard = job.index < first || job.index >= last;
    job.skip = job.other_shard || (skip_existing && complete(job.files));
  }
  bool complete(const ModelFiles& f) const {
    if (PrintFil < 1) return false;
    if (!regular_file_at(f.mag) || (ecsv && !regular_file_at(f.mag_ecsv))) return false;
    return PrintFil < 2 || (regular_file_at(f.spc) && (!ecsv || regular_file_at(f.spc_ecsv)));
  }
};

// The progress line (on a terminal, or asked for) and the summary, on standard error. Both
// count the shard's own galaxies; the galaxies of the other shards are counted apart, and
// named in the summary only when the run was given a shard.
class Reporter {
 public:
  Reporter(int total, bool progress, bool quiet, bool sharded)
      : total_(total), progress_(progress), quiet_(quiet), sharded_(sharded) {}

  void committed(const ModelJob& job, const ModelOutcome& o) {
    if (job.skip || !o.processed) {
      ++summary.skipped;
    } else {
      ++summary.processed;
      if (o.IsKeepOn == 0 && !o.stop) {
        ++summary.failed;
        failures_.push_back(job.files.arq_synt + "  (" + job.files.log + ")");
      }
    }
    if (!o.warnings.empty()) {
      clear_line();
      std::fputs(o.warnings.c_str(), stderr);
    }
    show(false);
  }
  void skipped(const ModelJob& job) {
    if (job.other_shard) {
      ++summary.other_shards;
      return;
    }
    ++summary.skipped;
    show(false);
  }
  // The end of the run: the last progress line, then the summary.
  void finish(const std::string& stopped_at) {
    show(true);
    if (shown_) std::fputc('\n', stderr);
    if (quiet_) return;
    std::fprintf(stderr, "veltrane: %d galax%s processed, %d failed, %d skipped", summary.processed,
                 summary.processed == 1 ? "y" : "ies", summary.failed, summary.skipped);
    if (sharded_) std::fprintf(stderr, ", %d in other shards", summary.other_shards);
    std::fputc('\n', stderr);
    for (const std::string& f : failures_) std::fprintf(stderr, "veltrane: failed: %s\n", f.c_str());
    if (!stopped_at.empty()) std::fprintf(stderr, "veltrane: the run stopped at %s\n", stopped_at.c_str());
  }
  bool line_on() const { return progress_; }

  RunSummary summary;

 private:
  void clear_line() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void show(bool last) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && shown_ && now - shown_at_ < std::chrono::milliseconds(200)) return;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const int done = summary.processed + summary.skipped;
    const double rate = seconds > 0.0 ? summary.processed / seconds : 0.0;
    const double left = rate > 0.0 ? (total_ - done) / rate : 0.0;
    std::fprintf(stderr, "\r\033[Kveltrane: %d/%d galaxies, %.1f/s, %d:%02d left, %d failed", done, total_, rate,
                 int(left) / 60, int(left) % 60, summary.failed);
    std::fflush(stderr);
    shown_ = true;
    shown_at_ = now;
  }

  int total_;
  bool progress_, quiet_, sharded_, shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), shown_at_;
  std::vector<std::string> failures_;
};

std::optional<int> bad_record(Console& console) {
  console.say("... ERROR -> Bad or missing model record");
  return 1;
}

// True when the files a model read are still what they were: no model committed since (in
// particular not the deletion of an old log) replaced or removed one of them.
bool inputs_unchanged(const InputRecord& inputs) {
  return std::all_of(inputs.begin(), inputs.end(),
                     [](const auto& f) { return identity_of(f.first) == f.second; });
}

// The model was computed on the tables the previous model really left: either it replaced
// them itself, or it used the same ones.
bool same_start(const ModelOutcome& o, const Carried& used, const Carried& actual) {
  if (!o.rebuilt) return true;
  return (o.base_replaced || used.base == actual.base) && (o.filters_replaced || used.filters == actual.filters);
}

// What the model leaves: its own tables where it replaced them, the previous ones elsewhere.
Carried after(const ModelOutcome& o, const Carried& actual) {
  return {o.base_replaced ? o.after.base : actual.base, o.filters_replaced ? o.after.filters : actual.filters};
}

// A model of the run commits: the old log goes first, then everything the model produced.
std::optional<int> commit(Console& console, const ModelJob& job, const ModelOutcome& o,
                          SignalGuard& signals, Reporter& reporter) {
  std::lock_guard lock(signals.commit_mutex());
  const auto status = commit_model(o, job.files, console);
  console.flush();
  reporter.committed(job, o);
  return status;
}

RunSummary finish(Reporter& reporter, std::optional<int> status, const std::string& at) {
  reporter.finish(status ? at : "");
  reporter.summary.status = status;
  return reporter.summary;
}

RunSummary sequential(Console& console, const RunParams& p, ModelSource& source, const Selection& selection,
                      InputCache& cache, bool literal, SignalGuard& signals, Reporter& reporter) {
  auto worker = std::make_unique<Worker>();
  worker->literal = literal;
  Carried carried;
  for (int m = 0; m < p.N_models; ++m) {
    ModelJob job;
    if (!source.next(job)) return finish(reporter, bad_record(console), "a bad galaxy record");
    selection.mark(job);
    if (job.skip) {
      reporter.skipped(job);
      continue;
    }
    if (!job.too_long) remove_old_log(job.files);
    const ModelOutcome outcome = process_model(p, job, *worker, cache, carried);
    if (const auto status = commit(console, job, outcome, signals, reporter))
      return finish(reporter, status, job.files.arq_synt);
    carried = after(outcome, carried);
  }
  return finish(reporter, std::nullopt, "");
}

// The state shared by the reader, the workers and the committer.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  struct Slot {
    ModelJob job;
    bool bad_record = false;
    std::optional<ModelOutcome> outcome;
    Carried used;  // the tables the worker started from
  };
  std::map<int, Slot> slots;  // read and not yet committed
  std::deque<int> todo;       // read and not yet taken by a worker
  bool reading_done = false;
  bool stopping = false;
  Carried committed;          // what the last committed model left
};

RunSummary parallel(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                    const Selection& selection, InputCache& cache, int jobs, bool literal,
                    SignalGuard& signals, Reporter& reporter) {
  auto shared = std::make_shared<Shared>();
  const std::size_t window = std::size_t(2 * jobs + 2);  // models read ahead of the commit

  // Records are read in a thread of their own, so that a commit never waits for input.
  std::thread reader([shared, source, window, selection, n = p.N_models] {
    for (int m = 0; m < n; ++m) {
      {
        std::unique_lock lock(shared->mutex);
        shared->changed.wait(lock, [&] { return shared->stopping || shared->slots.size() < window; });
        if (shared->stopping) break;
      }
      ModelJob job;
      const bool ok = source->next(job);
      if (ok) selection.mark(job);
      std::lock_guard lock(shared->mutex);
      auto& slot = shared->slots[m];
      slot.job = std::move(job);
      slot.bad_record = !ok;
      if (ok && !slot.job.skip) shared->todo.push_back(m);
      shared->changed.notify_all();
      if (!ok) break;
    }
    std::lock_guard lock(shared->mutex);
    shared->reading_done = true;
    shared->changed.notify_all();
  });

  std::vector<std::thread> workers;
  for (int t = 0; t < jobs; ++t) {
    workers.emplace_back([&, shared] {
      auto worker = std::make_unique<Worker>();
      worker->literal = literal;
      for (;;) {
        int m = 0;
        Carried used;
        const ModelJob* job = nullptr;
        {
          std::unique_lock lock(shared->mutex);
          shared->changed.wait(lock, [&] { return shared->stopping || !shared->todo.empty() || shared->reading_done; });
          if (shared->stopping || shared->todo.empty()) return;
          m = shared->todo.front();
          shared->todo.pop_front();
          used = shared->committed;
          job = &shared->slots.at(m).job;  // map nodes stay put
        }
        ModelOutcome outcome = process_model(p, *job, *worker, cache, used);
        std::lock_guard lock(shared->mutex);
        auto& slot = shared->slots.at(m);
        slot.outcome = std::move(outcome);
        slot.used = std::move(used);
        shared->changed.notify_all();
      }
    });
  }

  std::unique_ptr<Worker> own;  // for a model that must be computed again
  std::optional<int> status;
  std::string at;
  for (int m = 0; m < p.N_models && !status; ++m) {
    Shared::Slot slot;
    {
      std::unique_lock lock(shared->mutex);
      shared->changed.wait(lock, [&] {
        const auto it = shared->slots.find(m);
        return it != shared->slots.end() && (it->second.bad_record || it->second.job.skip || it->second.outcome);
      });
      slot = std::move(shared->slots.at(m));
      shared->slots.erase(m);
      shared->changed.notify_all();
    }
    if (slot.bad_record) {
      status = bad_record(console);
      at = "a bad galaxy record";
      break;
    }
    if (slot.job.skip) {
      reporter.skipped(slot.job);
      continue;
    }
    if (!slot.job.too_long) remove_old_log(slot.job.files);
    Carried actual;
    {
      std::lock_guard lock(shared->mutex);
      actual = shared->committed;
    }
    if (!same_start(*slot.outcome, slot.used, actual) || !inputs_unchanged(slot.outcome->inputs)) {
      if (!own) {
        own = std::make_unique<Worker>();
        own->literal = literal;
      }
      slot.outcome = process_model(p, slot.job, *own, cache, actual);
    }
    status = commit(console, slot.job, *slot.outcome, signals, reporter);
    at = slot.job.files.arq_synt;
    std::lock_guard lock(shared->mutex);
    shared->committed = after(*slot.outcome, actual);
  }

  {
    std::lock_guard lock(shared->mutex);
    shared->stopping = true;
    shared->changed.notify_all();
  }
  for (std::thread& t : workers) t.join();
  bool done = false;
  {
    std::lock_guard lock(shared->mutex);
    done = shared->reading_done;
  }
  // A reader still waiting for a record that will never be used holds its own references.
  if (done) reader.join();
  else reader.detach();
  return finish(reporter, status, at);
}

}  // namespace

RunSummary run_models(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                      const Options& options, SignalGuard& signals) {
  const int n = std::max(p.N_models, 0);
  Selection selection{int(std::int64_t(n) * (options.shard - 1) / options.shards),
                      int(std::int64_t(n) * options.shard / options.shards), options.skip_existing,
                      p.PrintFil, p.ecsv};
  Reporter reporter(selection.last - selection.first, options.progress || ::isatty(STDERR_FILENO), options.quiet,
                    options.sharded);
  signals.set_progress_line(reporter.line_on());
  InputCache cache(/*keep=*/!options.literal);
  if (options.jobs <= 1 || n <= 1)
    return sequential(console, p, *source, selection, cache, options.literal, signals, reporter);
  return parallel(console, p, std::move(source), selection, cache, options.jobs, options.literal, signals, reporter);
}

}  // namespace veltrane
