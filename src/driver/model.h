// One model, from its record to its files: processing (inputs read through the cache,
// spectra rebuilt and measured, tables formatted; no file written) and the commit that
// writes the results in the order a run makes them.
#pragma once

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

// Young/old split, base, filter set, reddening, rebuilt and scaled spectra, the cleaned and
// extended observed spectrum and the magnitudes, on the tables in out.after (which it
// replaces where the readers do). Reads files only through `session`. Flow::stop after the
// report of a reader's stop or of an extended spectrum with repeated wavelengths.
Flow rebuild_model(ReportContext& report, const RunParams& p, Worker& w, InputCache::Session& session,
                   ModelOutcome& out);

// ".MAG.out" (PrintFil ≥ 1) and ".SPC.out" (PrintFil ≥ 2) as texts, with their ECSV forms
// when asked (p.ecsv); the distance warning goes to `console`.
void format_tables(Console& console, const RunParams& p, const Worker& w, const Carried& state,
                   const ModelJob& job, ModelOutcome& out);

}  // namespace veltrane
