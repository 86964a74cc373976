#include "driver/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace veltrane {

SignalGuard::SignalGuard(Diagnostics& diagnostics) : diagnostics_(diagnostics) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      sigaddset(&set, sig);
      wake_ = sig;
    }
  }
  if (wake_ == 0) return;
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  waiter_ = std::thread([this, set] {
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {}
    if (over_) return;
    std::lock_guard lock(commit_);
    temporaries_.close();
    if (exit_action_) exit_action_();
    std::fflush(stdout);
    if (progress_line_) diagnostics_.write("\n");
    const std::string more = farewell_ ? farewell_() : "";
    diagnostics_.warn(std::string(sig == SIGINT ? "SIGINT" : "SIGTERM") +
                      (more.empty() ? ": the run ends" : ": " + more));
    diagnostics_.flush();
    ::_exit(128 + sig);
  });
}

SignalGuard::~SignalGuard() {
  if (!waiter_.joinable()) return;
  over_ = true;
  pthread_kill(waiter_.native_handle(), wake_);
  waiter_.join();
}

}  // namespace veltrane
