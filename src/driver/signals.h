// SIGINT and SIGTERM end a run between two commits: a thread waits for them and, when one
// comes, takes the commit lock (so no table or log is half written), removes the tables
// workers wrote ahead for commits that will not come (no temporary file is left), runs the
// exit action (the catalogue is finished), flushes standard output, says on standard error
// which signal ended the run and what it leaves, and exits with 128 + the signal's number
// (130, 143).
// A signal the caller ignores (a shell's background job ignores SIGINT) stays ignored.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "driver/staging.h"
#include "support/diagnostics.h"

namespace veltrane {

class SignalGuard {
 public:
  // Blocks the two signals in this thread and in every thread started after it, and starts
  // the thread that waits for them; `diagnostics` ends a progress line at the exit.
  explicit SignalGuard(Diagnostics& diagnostics);
  // Stops the waiting thread (the run is over).
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // Held while a galaxy is committed.
  std::mutex& commit_mutex() { return commit_; }
  // The temporary files of tables written ahead of their commit.
  TemporaryFiles& temporaries() { return temporaries_; }
  // A progress line is on standard error: the exit ends it with a newline first.
  void set_progress_line(bool on) { progress_line_ = on; }
  // Run by the exit, under the commit lock, before standard output is flushed (a survey
  // catalogue is finished there); empty: nothing. The caller must not hold the commit lock.
  void set_exit_action(std::function<void()> action) {
    std::lock_guard lock(commit_);
    exit_action_ = std::move(action);
  }
  // What the exit says on standard error after the signal's name, under the commit lock
  // (how many galaxies are committed, where they are, how to go on); empty: nothing more.
  // The caller must not hold the commit lock.
  void set_farewell(std::function<std::string()> farewell) {
    std::lock_guard lock(commit_);
    farewell_ = std::move(farewell);
  }

 private:
  Diagnostics& diagnostics_;
  std::mutex commit_;
  std::function<void()> exit_action_;      // under commit_
  std::function<std::string()> farewell_;  // under commit_
  TemporaryFiles temporaries_;
  std::atomic<bool> progress_line_{false};
  std::atomic<bool> over_{false};
  int wake_ = 0;  // a signal of the waited set, sent to the waiter to stop it
  std::thread waiter_;
};

}  // namespace veltrane
