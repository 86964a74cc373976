// The report context: what a routine that can fail, or that lists what it does, is handed
// instead of a console, a problem log and a status flag of its own. A routine reports a
// problem of the current model on the context's console (and, where its report is a log
// report, in the context's problem log) and marks the model failed; it prints its listing
// only at the context's verbosity. Kernels that cannot fail take no context.
#pragma once

#include <string_view>

#include "support/console.h"
#include "support/galaxy_status.h"
#include "support/problem_log.h"

namespace veltrane {

// The run parameter Fverbose: 0 echoes the run parameters, 1 prints the banner and the
// listings of the readers and the filter set, 5 every point of every SSP spectrum; any other
// value prints none of these.
enum class Verbosity { echo, listing, points, quiet };

inline Verbosity verbosity_of(int Fverbose) {
  switch (Fverbose) {
    case 0: return Verbosity::echo;
    case 1: return Verbosity::listing;
    case 5: return Verbosity::points;
    default: return Verbosity::quiet;
  }
}

struct ReportContext {
  Console& console;     // the model's console lines
  ProblemLog& log;      // the model's problem reports (".LOG")
  GalaxyStatus& status;  // good until a step of the model fails
  Verbosity verbosity = Verbosity::quiet;

  bool listing() const { return verbosity == Verbosity::listing; }
  bool failed() const { return status.failed(); }
  void fail() { status.fail(); }
  // A problem reported on the console alone: the header, then `message` (each "(4x,a)");
  // the model fails.
  void console_problem(std::string_view message) {
    console.say(kProblemHeader);
    console.say(message);
    status.fail();
  }
};

// A context that keeps everything to itself: a captured console, its own problem log and
// status (tests, and callers of the kernels outside a run). Not copyable: the context
// refers to the other members.
struct CapturedReport {
  explicit CapturedReport(Verbosity v = Verbosity::quiet) : context{console, log, status, v} {}
  CapturedReport(const CapturedReport&) = delete;
  CapturedReport& operator=(const CapturedReport&) = delete;

  Console console = Console::capture();
  ProblemLog log{&console};
  GalaxyStatus status;
  ReportContext context;
};

}  // namespace veltrane
