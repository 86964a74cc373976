// One galaxy, from its record to its files: processing (the galaxy's inputs read through the
// cache, its numbers computed, its tables formatted; no file written) and the commit that
// writes the results in the order a run makes them.
#pragma once

#include "cache/input_cache.h"
#include "driver/options.h"
#include "driver/staging.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/run_stop.h"

namespace veltrane {

// What the catalogue keeps of galaxy `g` (its model spectra too when `spectra`), into `out`
// (its vectors reused), or as a new value.
void catalog_values(const Galaxy& g, bool spectra, CatalogValues& out);
CatalogValues catalog_values(const Galaxy& g, bool spectra);

// A worker for the galaxies of a run: its tables at their maxima and the settings.
std::unique_ptr<Worker> make_worker(const RunParams& p, const Options& options);

// Processes one galaxy on the tables `before` left: its console lines, reports, tables,
// status, the values the catalogue keeps (--catalog) and what it leaves to the next galaxy,
// into `out` (whatever it held is replaced; its buffers are reused, so a loop that passes the
// same outcome again allocates no table), or as a new value. The files the galaxy read are
// recorded (out.inputs) when the run has workers. Writes no file, throws nothing.
void process_galaxy(const RunParams& p, const Options& options, const GalaxyJob& job, Worker& w, InputCache& cache,
                    const Carried& before, GalaxyOutcome& out);
GalaxyOutcome process_galaxy(const RunParams& p, const Options& options, const GalaxyJob& job, Worker& w,
                             InputCache& cache, const Carried& before);

// Before a galaxy reads anything: a log left by an earlier run (a regular file, or a link to
// one) is removed; anything else at that path stays, silently. Returns the identity of the
// file removed (none: nothing was).
FileIdentity remove_old_log(const GalaxyFiles& files);

// Writes a galaxy's outcome as the run would have: the problem log, the console lines, the
// tables (each through a new temporary file of its directory and a rename: write_atomically,
// or the rename of the file `staged` holds for it, which the commit takes and clears), the
// end-of-galaxy rule for the log. Flow::stop when the run ends here: a stop of the galaxy, or
// a log or table that cannot be written ("    ... ERROR -> Cannot write NAME" on `out`), with
// what stopped it in `why` (the file and the system's reason); the staged files not taken are
// then left to the caller.
Flow commit_galaxy(const GalaxyOutcome& o, const GalaxyFiles& files, Console& out, StagedTables* staged = nullptr,
                   Problem* why = nullptr);

}  // namespace veltrane
