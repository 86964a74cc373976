#include "driver/models.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/model.h"

namespace veltrane {
namespace {

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

std::optional<int> sequential(Console& console, const RunParams& p, ModelSource& source,
                              InputCache& cache, bool literal) {
  auto worker = std::make_unique<Worker>();
  worker->literal = literal;
  Carried carried;
  for (int m = 0; m < p.N_models; ++m) {
    ModelJob job;
    if (!source.next(job)) return bad_record(console);
    if (!job.too_long) remove_old_log(job.files);
    const ModelOutcome outcome = process_model(p, job, *worker, cache, carried);
    if (const auto status = commit_model(outcome, job.files, console)) return status;
    carried = after(outcome, carried);
  }
  return std::nullopt;
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

std::optional<int> parallel(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                            InputCache& cache, int jobs, bool literal) {
  auto shared = std::make_shared<Shared>();
  const std::size_t window = std::size_t(2 * jobs + 2);  // models read ahead of the commit

  // Records are read in a thread of their own, so that a commit never waits for input.
  std::thread reader([shared, source, window, n = p.N_models] {
    for (int m = 0; m < n; ++m) {
      {
        std::unique_lock lock(shared->mutex);
        shared->changed.wait(lock, [&] { return shared->stopping || shared->slots.size() < window; });
        if (shared->stopping) break;
      }
      ModelJob job;
      const bool ok = source->next(job);
      std::lock_guard lock(shared->mutex);
      auto& slot = shared->slots[m];
      slot.job = std::move(job);
      slot.bad_record = !ok;
      if (ok) shared->todo.push_back(m);
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
        {
          std::unique_lock lock(shared->mutex);
          shared->changed.wait(lock, [&] {
            return shared->stopping || !shared->todo.empty() || (shared->reading_done && shared->todo.empty());
          });
          if (shared->stopping || shared->todo.empty()) return;
          m = shared->todo.front();
          shared->todo.pop_front();
          used = shared->committed;
        }
        const ModelJob& job = shared->slots.at(m).job;  // map nodes stay put
        ModelOutcome outcome = process_model(p, job, *worker, cache, used);
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
  for (int m = 0; m < p.N_models && !status; ++m) {
    Shared::Slot slot;
    {
      std::unique_lock lock(shared->mutex);
      shared->changed.wait(lock, [&] {
        const auto it = shared->slots.find(m);
        return it != shared->slots.end() && (it->second.bad_record || it->second.outcome);
      });
      slot = std::move(shared->slots.at(m));
    }
    if (slot.bad_record) {
      status = bad_record(console);
      break;
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
    status = commit_model(*slot.outcome, slot.job.files, console);
    console.flush();
    std::lock_guard lock(shared->mutex);
    shared->committed = after(*slot.outcome, actual);
    shared->slots.erase(m);
    shared->changed.notify_all();
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
  return status;
}

}  // namespace

std::optional<int> run_models(Console& console, const RunParams& p, std::shared_ptr<ModelSource> source,
                              int jobs, bool literal) {
  InputCache cache(/*keep=*/!literal);
  if (jobs <= 1 || p.N_models <= 1) return sequential(console, p, *source, cache, literal);
  return parallel(console, p, std::move(source), cache, jobs, literal);
}

}  // namespace veltrane
