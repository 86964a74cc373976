// The report context: what a routine that can fail, or that lists what it does, is handed
// instead of a console, a problem log and a status flag of its own. A routine reports a
// problem of the current galaxy as a value (support/problem.h): its console lines are
// printed where they always stood, the value is kept (when the context keeps its problems)
// and, for a failure, becomes the galaxy's cause; a log report goes to the context's problem
// log besides. Listings are printed only at the context's verbosity. Kernels that cannot fail
// take no context.
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
  ReportContext(Console& c, ProblemLog& l, GalaxyStatus& s, Verbosity v = Verbosity::quiet,
                std::vector<Problem>* kept = nullptr)
      : console(c), log(l), status(s), verbosity(v), problems(kept) {}

  Console& console;      // the galaxy's console lines
  ProblemLog& log;       // the galaxy's problem reports (".LOG")
  GalaxyStatus& status;  // good until a step of the galaxy fails
  Verbosity verbosity = Verbosity::quiet;
  std::vector<Problem>* problems = nullptr;  // where every problem is kept, in order (none: not kept)
  // The file a kernel works on for its caller (a filter curve, a synthesis result): the
  // problems of routines that read no file of their own name it.
  std::string subject;

  bool listing() const { return verbosity == Verbosity::listing; }
  bool failed() const { return status.failed(); }
  // A problem that does not fail the galaxy: its console lines printed, the value kept.
  void note(Problem p) {
    for (const std::string& line : p.console) console.line(line);
    if (problems != nullptr) problems->push_back(std::move(p));
  }
  // A problem that fails the galaxy (the first one is its cause).
  void fail(Problem p) {
    status.fail(p);
    note(std::move(p));
  }
  // A kernel's problem, on the console alone: the header, then `message` (each "(4x,a)"),
  // about the context's subject; the galaxy fails.
  void console_problem(std::string_view message, std::string reason) {
    fail({subject, 0, 0, std::move(reason), {indent(kProblemHeader), indent(message)}});
  }
};

// A context that keeps everything to itself: a captured console, its own problem log, status
// and problems (tests, and callers of the kernels outside a run). Not copyable: the context
// refers to the other members.
struct CapturedReport {
  explicit CapturedReport(Verbosity v = Verbosity::quiet) : context{console, log, status, v, &problems} {}
  CapturedReport(const CapturedReport&) = delete;
  CapturedReport& operator=(const CapturedReport&) = delete;

  Console console = Console::capture();
  ProblemLog log{&console};
  GalaxyStatus status;
  std::vector<Problem> problems;
  ReportContext context;
};

}  // namespace veltrane
