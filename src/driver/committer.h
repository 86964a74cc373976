// The committing end of the galaxy loop: which galaxies a run takes, and the committer that
// writes them in galaxy order in the one thread that commits.
#pragma once

#include <string>

#include "driver/galaxy_loop.h"
#include "driver/run_reporter.h"
#include "driver/signals.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/run_stop.h"

namespace veltrane {

// Which galaxies this run takes: the shard's block of the list, less those whose tables all
// exist when asked to skip them.
struct Selection {
  int first = 0, last = 0;  // [first, last)
  bool skip_existing = false;
  int PrintFil = 0;
  bool ecsv = false;
  const CommitListener* listener = nullptr;  // may hold the galaxies done by an earlier run
  void mark(GalaxyJob& job) const;

 private:
  bool complete(const GalaxyFiles& f) const;
  bool done(const GalaxyJob& job) const;
};

// How a galaxy loop ended: after its last galaxy, or stopped (a commit that stops the run has
// told the reporter already); a galaxy record that cannot be read ends it at `at` for `why`.
struct LoopEnd {
  Flow flow = Flow::go_on;
  std::string at;
  Problem why;
};

// "    ... ERROR -> Bad or missing model record" on the console: the loop ends there, at the
// record of the galaxy `index` (0-based), for `why`.
LoopEnd bad_model_record(Console& console, const Problem& why, int index);

class Committer {
 public:
  Committer(Console& console, SignalGuard& signals, RunReporter& reporter, CommitListener* listener)
      : console_(console), signals_(signals), reporter_(reporter), listener_(listener) {}

  // Writes galaxy `job` (processed on carried()) under the signal guard's lock, renaming the
  // tables `staged` holds (see commit_galaxy), then counts it, writes its warnings and tells
  // the listener; afterwards carried() is what it leaves. Flow::stop when the run ends at
  // this galaxy (its stop, a file it cannot write, or the listener's).
  Flow commit(const GalaxyJob& job, const GalaxyOutcome& outcome, StagedTables* staged = nullptr);
  // A galaxy the run does not take; Flow::stop when the listener ends the run there.
  Flow skip(const GalaxyJob& job);
  // Where tables written ahead of their commit are registered.
  TemporaryFiles& temporaries() { return signals_.temporaries(); }
  // What the last committed galaxy left to the next one.
  const Carried& carried() const { return carried_; }
  // How the summary names a galaxy at which the run stops.
  static std::string at(const GalaxyJob& job);

 private:
  Console& console_;
  SignalGuard& signals_;
  RunReporter& reporter_;
  CommitListener* listener_;
  Carried carried_;
};

// What a galaxy leaves to the next when the previous galaxy left `actual`: its own tables
// where its readers replaced them, `actual` elsewhere.
Carried carried_after(const GalaxyOutcome& o, const Carried& actual);

}  // namespace veltrane
