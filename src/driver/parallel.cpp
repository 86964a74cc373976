#include "driver/parallel.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "driver/process.h"

namespace veltrane {
namespace {

// What the reader, the workers and the committer share, under `mutex`.
struct Shared {
  struct Slot {
    GalaxyJob job;
    bool bad_record = false;
    Problem bad;  // why its record cannot be read
    std::optional<GalaxyOutcome> outcome;
    Carried used;         // the tables the worker started from
    int started = 0;      // the galaxies before this one had been committed when it started
    StagedTables staged;  // its tables, written ahead
  };
  std::mutex mutex;
  // One condition for each kind of waiter, each woken only by what it waits for (a wake-up
  // that finds nothing to do costs two context switches and a cold cache).
  std::condition_variable work;   // the workers: a galaxy to take, or the reading's end
  std::condition_variable room;   // the reader: room in the window
  std::condition_variable ready;  // the committer: the galaxy it awaits is ready
  std::map<int, Slot> slots;      // read and not yet committed
  std::deque<int> todo;           // read and not yet taken by a worker
  int awaited = -1;               // the galaxy the committer waits for
  std::size_t window = 1;         // galaxies read and not yet committed, at most
  bool reading_done = false;
  bool stopping = false;
  Carried committed;                 // what the last committed galaxy left
  int done = 0;                      // galaxies committed or skipped so far
  std::vector<GalaxyOutcome> spare;  // committed outcomes, whose buffers the workers reuse

  void stop() {
    std::lock_guard lock(mutex);
    stopping = true;
    work.notify_all();
    room.notify_all();
    ready.notify_all();
  }
  // Under the lock: galaxy m can be committed.
  void made_ready(int m) {
    if (m == awaited) ready.notify_one();
  }
  // Under the lock: a full window may be refilled.
  bool refill() const { return slots.size() <= window / 2; }
};

// The reader thread: the galaxy records in order, at most `window` of them read and not yet
// committed. A full window is refilled once half of it is committed, so that the reader
// wakes once for several galaxies.
class Reader {
 public:
  Reader(Shared& shared, std::shared_ptr<GalaxySource> source, const Selection& selection, int n)
      : shared_(shared), source_(std::move(source)), thread_([=, this] { run(selection, n); }) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  // Ends the reading, a read waiting for standard input included, and joins the thread.
  ~Reader() {
    shared_.stop();
    source_->cancel();
    thread_.join();
  }

 private:
  void run(const Selection& selection, int n) {
    for (int m = 0; m < n; ++m) {
      {
        std::unique_lock lock(shared_.mutex);
        if (shared_.slots.size() >= shared_.window)
          shared_.room.wait(lock, [&] { return shared_.stopping || shared_.refill(); });
        if (shared_.stopping) break;
      }
      GalaxyJob job;
      const bool ok = source_->next(job);
      if (ok) selection.mark(job);
      std::lock_guard lock(shared_.mutex);
      auto& slot = shared_.slots[m];
      slot.job = std::move(job);
      slot.bad_record = !ok;
      if (!ok) slot.bad = source_->problem();
      if (ok && !slot.job.skip) {
        shared_.todo.push_back(m);
        shared_.work.notify_one();
      } else {
        shared_.made_ready(m);
      }
      if (!ok) break;
    }
    std::lock_guard lock(shared_.mutex);
    shared_.reading_done = true;
    shared_.work.notify_all();
  }

  Shared& shared_;
  std::shared_ptr<GalaxySource> source_;
  std::thread thread_;  // last: it starts once the members above exist
};

// The worker threads: each takes the next galaxy read, processes it on the tables the last
// committed galaxy left, writes its tables to temporary files (unless literal: then the
// commit writes them, as one thread would) and hands the outcome back.
class Workers {
 public:
  Workers(Shared& shared, const RunParams& p, const Options& options, InputCache& cache, TemporaryFiles& temps)
      : shared_(shared), p_(p), options_(options), cache_(cache), temps_(temps) {
    for (int t = 0; t < options.jobs; ++t) threads_.emplace_back([this] { run(); });
  }
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  // Each worker finishes the galaxy it holds; then all are joined.
  ~Workers() {
    shared_.stop();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void run() {
    const std::unique_ptr<Worker> worker = make_worker(p_, options_);
    for (;;) {
      int m = 0, started = 0;
      Carried used;
      const GalaxyJob* job = nullptr;
      GalaxyOutcome outcome;
      {
        std::unique_lock lock(shared_.mutex);
        shared_.work.wait(lock, [&] { return shared_.stopping || !shared_.todo.empty() || shared_.reading_done; });
        if (shared_.stopping || shared_.todo.empty()) return;
        m = shared_.todo.front();
        shared_.todo.pop_front();
        used = shared_.committed;
        started = shared_.done;
        job = &shared_.slots.at(m).job;  // map nodes stay put
        if (!shared_.spare.empty()) {
          outcome = std::move(shared_.spare.back());
          shared_.spare.pop_back();
        }
      }
      process_galaxy(p_, options_, *job, *worker, cache_, used, outcome);
      StagedTables staged = options_.literal ? StagedTables{} : stage_tables(outcome, job->files, temps_);
      std::lock_guard lock(shared_.mutex);
      auto& slot = shared_.slots.at(m);
      slot.outcome = std::move(outcome);
      slot.used = std::move(used);
      slot.started = started;
      slot.staged = std::move(staged);
      shared_.made_ready(m);
    }
  }

  Shared& shared_;
  const RunParams& p_;
  const Options& options_;
  InputCache& cache_;
  TemporaryFiles& temps_;
  std::vector<std::thread> threads_;
};

// At the end of the loop, once every worker has ended: the tables written ahead for galaxies
// that were never committed (the run stopped first) are removed.
class LeftTables {
 public:
  explicit LeftTables(TemporaryFiles& temps) : temps_(temps) {}
  LeftTables(const LeftTables&) = delete;
  LeftTables& operator=(const LeftTables&) = delete;
  ~LeftTables() { temps_.discard_all(); }

 private:
  TemporaryFiles& temps_;
};

// Galaxy m once it is read, and processed unless it is skipped or its record is bad.
Shared::Slot take(Shared& shared, int m) {
  std::unique_lock lock(shared.mutex);
  shared.awaited = m;
  shared.ready.wait(lock, [&] {
    const auto it = shared.slots.find(m);
    return it != shared.slots.end() && (it->second.bad_record || it->second.job.skip || it->second.outcome);
  });
  Shared::Slot slot = std::move(shared.slots.at(m));
  shared.slots.erase(m);
  if (shared.refill()) shared.room.notify_one();
  return slot;
}

// The files the commits of the run changed: before each commit, what was at the paths it may
// replace, remove or append to (its log and its tables), by device and inode. A galaxy's
// inputs are then checked against the commits since it started, not each looked at again:
// only a commit changes a file between a galaxy's reading and its commit in a way the order
// of the run decides (a change from outside the run falls between two galaxies by chance,
// with one job or several).
class CommitTrail {
 public:
  // Before galaxy m's commit (and its removal of an old log); a trusting cache forgets the
  // files it may replace.
  void before_commit(int m, const GalaxyFiles& f, InputCache& cache) {
    for (const std::string* path : {&f.log, &f.mag, &f.spc, &f.mag_ecsv, &f.spc_ecsv}) {
      const FileIdentity id = identity_of(*path);
      if (!id.exists) continue;
      cache.forget(id);
      order_.push_back({m, {id.device, id.inode}});
      latest_[{id.device, id.inode}] = m;
    }
  }
  // True when the files a galaxy read, which started once the galaxies before `started` were
  // committed, are still what they were: none of them was at a path that a commit since
  // changed (a link's target counts), and none that was missing has appeared since. Forgets
  // the commits before `started`: the galaxies after this one started later.
  bool unchanged(const InputRecord& inputs, int started) {
    for (; !order_.empty() && order_.front().first < started; order_.pop_front()) {
      const auto it = latest_.find(order_.front().second);
      if (it->second == order_.front().first) latest_.erase(it);
    }
    return std::all_of(inputs.begin(), inputs.end(), [&](const auto& f) {
      const FileIdentity& id = f.second;
      if (!id.exists) return !identity_of(f.first).exists;
      return !latest_.contains({id.device, id.inode});
    });
  }

 private:
  using Key = std::pair<std::uint64_t, std::uint64_t>;  // device, inode
  std::deque<std::pair<int, Key>> order_;               // in commit order
  std::map<Key, int> latest_;                           // the last commit that changed each
};

// The galaxy was computed on the tables the previous galaxy really left: either it replaced
// them itself, or it used the same ones.
bool same_start(const GalaxyOutcome& o, const Carried& used, const Carried& actual) {
  if (!o.fit_read) return true;
  return (o.base_replaced || used.base == actual.base) && (o.filters_replaced || used.filters == actual.filters);
}

}  // namespace

LoopEnd run_in_parallel(Console& console, const RunParams& p, std::shared_ptr<GalaxySource> source,
                        const Selection& selection, InputCache& cache, const Options& options, Committer& committer) {
  const LeftTables left(committer.temporaries());  // first: it goes after the threads end
  Shared shared;
  shared.window = std::size_t(4 * options.jobs + 2);
  const Reader reader(shared, std::move(source), selection, p.N_models);
  const Workers workers(shared, p, options, cache, committer.temporaries());

  std::unique_ptr<Worker> own;  // for a galaxy that must be computed again
  CommitTrail trail;
  for (int m = 0; m < p.N_models; ++m) {
    Shared::Slot slot = take(shared, m);
    if (slot.bad_record) return bad_model_record(console, slot.bad, m);
    if (slot.job.skip) {
      if (committer.skip(slot.job) == Flow::stop) return {Flow::stop, {}, {}};
      std::lock_guard lock(shared.mutex);
      shared.done = m + 1;
      continue;
    }
    trail.before_commit(m, slot.job.files, cache);
    if (!slot.job.too_long) remove_old_log(slot.job.files);
    const Carried& actual = committer.carried();
    if (!same_start(*slot.outcome, slot.used, actual) || !trail.unchanged(slot.outcome->inputs, slot.started)) {
      if (!own) own = make_worker(p, options);
      discard_staged(slot.staged);  // tables of a computation that no longer holds
      process_galaxy(p, options, slot.job, *own, cache, actual, *slot.outcome);
    }
    const Flow flow = committer.commit(slot.job, *slot.outcome, &slot.staged);
    discard_staged(slot.staged);  // what a stop left untaken
    if (flow == Flow::stop) return {Flow::stop, {}, {}};
    std::lock_guard lock(shared.mutex);
    shared.committed = committer.carried();
    shared.done = m + 1;
    if (shared.spare.size() < std::size_t(options.jobs)) shared.spare.push_back(std::move(*slot.outcome));
  }
  return {};
}

}  // namespace veltrane
