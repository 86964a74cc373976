// SIGINT and SIGTERM end a run between two commits: a thread waits for them and, when one
// comes, takes the commit lock (so no table or log is half written and no temporary file
// exists), flushes standard output and exits with 128 + the signal's number (130, 143).
#pragma once

#include <atomic>
#include <mutex>

namespace veltrane {

class SignalGuard {
 public:
  // Blocks the two signals in this thread and in every thread started after it, and starts
  // the thread that waits for them.
  SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // Held while a model is committed.
  std::mutex& commit_mutex() { return state_->commit; }
  // A progress line is on standard error: the exit ends it with a newline first.
  void set_progress_line(bool on) { state_->progress_line = on; }

 private:
  struct State {  // shared with the waiting thread, which may outlive this object
    std::mutex commit;
    std::atomic<bool> progress_line{false};
  };
  State* state_;
};

}  // namespace veltrane
