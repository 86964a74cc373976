// One model, from its record to its files: processing (inputs read through the cache,
// spectra rebuilt and measured, tables formatted; no file written) and the commit that
// writes the results in the order a run makes them.
#pragma once

#include <array>

#include "cache/input_cache.h"
#include "driver/staging.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/report.h"
#include "support/run_stop.h"

namespace veltrane {

// Processes one model on the tables `before` left: its console lines, reports, tables,
// status and what it leaves to the next model. Writes no file, throws nothing.
ModelOutcome process_model(const RunParams& p, const ModelJob& job, Worker& w, InputCache& cache,
                           const Carried& before);

// Before a model reads anything: a log left by an earlier run (a regular file, or a link to
// one) is removed; anything else at that path stays, silently.
void remove_old_log(const ModelFiles& files);

// Writes a model's outcome as the run would have: the problem log, the console lines, the
// tables (each through a new temporary file of its directory and a rename: write_atomically,
// or the rename of the file `staged` holds for it, which the commit takes and clears), the
// end-of-model rule for the log. Flow::stop when the run ends here: a stop of the model, or a
// log or table that cannot be written ("    ... ERROR -> Cannot write NAME" on `out`); the
// staged files not taken are then left to the caller.
Flow commit_model(const ModelOutcome& o, const ModelFiles& files, Console& out, StagedTables* staged = nullptr);

// The report a model that failed without a log of its own gets at its end, dated now.
ProblemLog end_of_model_report();

// Young/old split, base, filter set, reddening, rebuilt and scaled spectra, the cleaned and
// extended observed spectrum and the magnitudes, on the tables in out.after (which it
// replaces where the readers do). Reads files only through `session`. Flow::stop after the
// report of a reader's stop or of an extended spectrum with repeated wavelengths.
Flow rebuild_model(ReportContext& report, const RunParams& p, Worker& w, InputCache::Session& session,
                   ModelOutcome& out);

// The six log10 stellar masses of a rebuilt model (M_sun; total, young, old, each from the
// third then the second population column), with the 4πd² term of `distance` (Mpc) when it
// is positive; -999.0 for a part without mass. Says nothing.
std::array<float, 6> log_masses(const RunParams& p, const Worker& w, float distance);

// ".MAG.out" (PrintFil ≥ 1) and ".SPC.out" (PrintFil ≥ 2) as texts, with their ECSV forms
// when asked (p.ecsv), holding `masses`; the distance warning goes to `console`.
void format_tables(Console& console, const RunParams& p, const Worker& w, const Carried& state, const ModelJob& job,
                   const std::array<float, 6>& masses, ModelOutcome& out);

// What the survey catalogue keeps of a model that `fit_read` and, when `measured`, rebuilt
// and measured on `state` (masses as above).
void keep_catalog_values(const RunParams& p, const Worker& w, const Carried& state, bool fit_read, bool measured,
                         const std::array<float, 6>& masses, CatalogValues& out);

}  // namespace veltrane
