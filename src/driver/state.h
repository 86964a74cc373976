// The driver's values: the run parameters, a galaxy to process and its files, a worker's
// tables, and what a processed galaxy hands to the commit that writes its results.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "cache/input_cache.h"
#include "galaxy/galaxy.h"
#include "readers/run_parameters.h"
#include "support/galaxy_status.h"
#include "support/problem_log.h"
#include "support/run_stop.h"
#include "tables/tables.h"

namespace veltrane {

// A galaxy's file names.
struct GalaxyFiles {
  std::string arq_synt;  // synthesis result
  std::string log;       // ".LOG"
  std::string mag;       // ".MAG.out"
  std::string spc;       // ".SPC.out"
  std::string mag_ecsv;  // ".mag.ecsv" (--ecsv)
  std::string spc_ecsv;  // ".spc.ecsv"
};

// One galaxy to process: its place in the run, its record and its file names.
struct GalaxyJob {
  int index = 0;  // 0-based place in the run
  std::string name;
  float distance = 0.0f;
  GalaxyFiles files;
  bool too_long = false;     // path_DIR + name too long: the galaxy is skipped
  bool skip = false;         // outside the shard, or its tables exist (--skip-existing)
  bool other_shard = false;  // skipped as a galaxy of another shard
};

// A worker's tables, reused from galaxy to galaxy, and the settings every galaxy is
// computed with.
struct Worker {
  Galaxy galaxy;
  GalaxySettings settings;
};

// A galaxy's values for the survey catalogue, copied out of the worker's tables (which the
// worker reuses before the galaxy is committed). -999.0 where the tables hold it.
struct CatalogValues {
  bool fit_read = false;            // the synthesis result was read: A_V and law hold
  float A_V = 0.0f;                 // mag
  std::string law;                  // extinction-law code, without trailing blanks
  bool measured = false;            // the spectra were rebuilt and measured: the values below hold
  std::array<float, 6> log_mass{};  // log10 M/M_sun, in the order of the magnitude table
  // Nfilters per (slot, system), slot major, filter fastest, of the filter set it was measured with.
  std::vector<float> magnitudes;
  std::vector<float> coverage, coverage_positive;  // covered fraction, positive-flux fraction
  std::vector<float> lambda, total, young, old;    // --catalog-spectra: base grid and galaxies
};

// Everything a galaxy produced, for the commit to write in order: its console lines, its
// problem reports, its tables, its status, a run-ending stop, and what it leaves behind.
struct GalaxyOutcome {
  std::string console;
  ProblemLog log;
  TableTexts tables;
  GalaxyStatus status;
  std::vector<std::string> warnings;                     // for standard error, written by the commit
  Flow flow = Flow::go_on;                               // stop: the run ends after this galaxy's console lines
  Problem stop;                                          // ... for this problem
  bool processed = false;                                // false: skipped before anything was read
  bool fit_read = false;                                 // its synthesis result was read, and the rebuild done
  bool base_replaced = false, filters_replaced = false;  // on the tables carried in unless its readers replaced them
  Carried after;
  InputRecord inputs;
  CatalogValues catalog;  // --catalog only
};

}  // namespace veltrane
