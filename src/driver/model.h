// One model, from its record to its files: processing (inputs read through the cache,
// spectra rebuilt and measured, tables formatted; no file written) and the commit that
// writes the results in the order a run makes them.
#pragma once

#include <optional>

#include "cache/input_cache.h"
#include "driver/state.h"
#include "numerics/console.h"

namespace veltrane {

// Processes one model on the tables `before` left: its console lines, reports, tables and
// what it leaves to the next model. Writes no file.
ModelOutcome process_model(const RunParams& p, const ModelJob& job, Worker& w, InputCache& cache,
                           const Carried& before);

// Before a model reads anything: a log left by an earlier run (a regular file, or a link to
// one) is removed; anything else at that path stays, silently.
void remove_old_log(const ModelFiles& files);

// Writes a model's outcome as the run would have: the problem log, the console lines, the
// tables (each through a new temporary file of its directory, named "." and seven base-36
// digits of the process number and an attempt, and a rename), the end-of-model rule for the
// log.
// Returns the run's exit status when the run ends here: a stop of the model, or a log or
// table that cannot be written ("    ... ERROR -> Cannot write NAME", status 1).
std::optional<int> commit_model(const ModelOutcome& o, const ModelFiles& files, Console& out);

// Young/old split, base, filter set, reddening, rebuilt and scaled spectra, the cleaned and
// extended observed spectrum and the magnitudes. Reads files only through `session`; ends
// the run (RunStop) on the readers' stops and on an extended spectrum with repeated
// wavelengths.
void rebuild_model(Console& console, ProblemLog& log, const RunParams& p, Worker& w,
                   InputCache::Session& session, Carried& state, ModelOutcome& out, int& IsKeepOn);

// ".MAG.out" (PrintFil ≥ 1) and ".SPC.out" (PrintFil ≥ 2) as texts, with their ECSV forms
// when asked (p.ecsv); the distance warning goes to `console`.
void format_tables(Console& console, const RunParams& p, const Worker& w, const Carried& state,
                   const ModelJob& job, ModelOutcome& out);

}  // namespace veltrane
