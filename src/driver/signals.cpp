#include "driver/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace veltrane {

SignalGuard::SignalGuard() : state_(new State) {
  sigset_t set;
  sigemptyset(&set);
  // A signal the caller ignores stays ignored (a shell starts background jobs so for SIGINT).
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) sigaddset(&set, sig);
  }
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // The waiter and its state live as long as the process: it only ever ends the run.
  std::thread([state = state_, set] {
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    std::lock_guard lock(state->commit);
    std::fflush(stdout);
    if (state->progress_line) std::fputc('\n', stderr);
    std::fflush(stderr);
    ::_exit(128 + sig);
  }).detach();
}

}  // namespace veltrane
