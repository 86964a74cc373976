// The driver's tables: the run parameters, what one model computes (allocated once per
// worker at the maxima and reused from model to model), what a model leaves to the next
// one, and what a model hands to the commit that writes its results.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "cache/input_cache.h"
#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "readers/ssp_files.h"
#include "readers/synthesis_result.h"
#include "support/limits.h"
#include "support/model_status.h"
#include "support/problem_log.h"
#include "support/run_stop.h"

namespace veltrane {

// The nine run parameters.
struct RunParams {
  int N_models = 0;
  std::string path_DIR;  // texts as read, without trailing blanks
  std::string base_SSP;
  std::string fil_dir;
  float t_cutGyr = 0.0f;         // age cut, Gyr
  float Phyunits = 0.0f;         // physical-units factor
  int Ext_Corr = 0;              // 1: de-redden the observation instead of reddening the models
  int PrintFil = 0;              // 1: ".MAG.out", 2: also ".SPC.out"
  int Fverbose = 0;              // as read; its meaning: verbosity_of (support/report.h)
  float t_cut = 0.0f;            // age cut, years
  bool ecsv = false;             // also the ECSV tables (--ecsv)
  bool catalog = false;          // keep each model's values for the survey catalogue (--catalog)
  bool catalog_spectra = false;  // ... and its model spectra (--catalog-spectra)
};

// Per-model file names.
struct ModelFiles {
  std::string arq_synt;  // synthesis result
  std::string log;       // ".LOG"
  std::string mag;       // ".MAG.out"
  std::string spc;       // ".SPC.out"
  std::string mag_ecsv;  // ".mag.ecsv" (--ecsv)
  std::string spc_ecsv;  // ".spc.ecsv"
};

// One model to process: its place in the run, its record and its file names.
struct ModelJob {
  int index = 0;  // 0-based place in the run
  std::string name;
  float distance = 0.0f;
  ModelFiles files;
  bool too_long = false;     // path_DIR + name too long: the model is skipped
  bool skip = false;         // outside the shard, or its tables exist (--skip-existing)
  bool other_shard = false;  // skipped as a galaxy of another shard
};

// What a model leaves to the next: the SSP base tables and the filter set as the readers
// left them (a reader that fails early, or is not called, changes nothing).
struct Carried {
  std::shared_ptr<const BaseTables> base = BaseTables::initial();
  std::shared_ptr<const FilterSet> filters = std::make_shared<const FilterSet>();
};

// The rebuilt spectra of one model.
struct ModelSpectra {
  int N_lb = 0;  // base grid points (b_lambda > 0)
  std::vector<float> red_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> ten_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> allssp_f = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> youssp_f = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> oldssp_f = std::vector<float>(kMaxPoints, 0.0f);
  int n_ext = 0;      // cleaned and extended observed spectrum
  int n_trimmed = 0;  // of which the trimmed observation (the rest extends it)
  std::vector<float> onlambda = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> onfluxes = std::vector<float>(kMaxExtended, 0.0f);
  // Young and old copies of the population columns.
  std::vector<float> x_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> x_old = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m2_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m2_old = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m3_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m3_old = std::vector<float>(kMaxSsp, 0.0f);
};

// A worker's tables, reused from model to model.
struct Worker {
  FitResult fit;
  ModelSpectra spectra;
  MagnitudeTable mags;
  FilterResults filter_results;
  FilterWork work;
  std::string name;      // the model's synthesis result, for warnings
  bool literal = false;  // every fast path off (for the differential tests)
};

// A model's values for the survey catalogue, copied out of the worker's tables (which the
// worker reuses before the model is committed). -999.0 where the tables hold it.
struct CatalogValues {
  bool fit_read = false;            // the synthesis result was read: A_V and law hold
  float A_V = 0.0f;                 // mag
  std::string law;                  // extinction-law code, without trailing blanks
  bool measured = false;            // the spectra were rebuilt and measured: the values below hold
  std::array<float, 6> log_mass{};  // log10 M/M_sun, in the order of the magnitude table
  // Nfilters per (slot, system), slot major, filter fastest, of the filter set in `after`.
  std::vector<float> magnitudes;
  std::vector<float> coverage, coverage_positive;  // covered fraction, positive-flux fraction
  std::vector<float> lambda, total, young, old;    // --catalog-spectra: base grid and models
};

// Everything a model produced, for the commit to write in order: its console lines, its
// problem reports, its tables, its status, a run-ending stop, and what it leaves behind.
struct ModelOutcome {
  std::string console;
  ProblemLog log;
  bool mag = false, spc = false;  // tables to write
  std::string mag_text, spc_text, mag_ecsv, spc_ecsv;
  ModelStatus status;
  std::vector<std::string> warnings;                     // for standard error, written by the commit
  std::vector<std::string> cut_at_limit;                 // SSP files read up to the 10,000-point limit
  Flow flow = Flow::go_on;                               // stop: the run ends after this model's console lines
  bool processed = false;                                // false: skipped before anything was read
  bool rebuilt = false;                                  // the spectra were rebuilt, on the tables carried in unless
  bool base_replaced = false, filters_replaced = false;  // the readers replaced them
  Carried after;
  InputRecord inputs;
  CatalogValues catalog;  // --catalog only
};

}  // namespace veltrane
