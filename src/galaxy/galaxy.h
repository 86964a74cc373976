// One galaxy between its inputs and its numbers. Its synthesis result, SSP base and filter set
// are loaded first (the base and the filter set through the input cache); then the population
// is split into young and old SSPs, the model spectra are rebuilt and scaled (reddened, or the
// observation de-reddened), the observation is cleaned and extended with the total model,
// the four spectra are measured through the filter set and the stellar masses computed.
// Nothing here writes a file: the tables, the catalogue and the Python module all read the
// `Galaxy` this fills. See docs/formulae.md for the physics.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "cache/input_cache.h"
#include "extinction/red_term.h"
#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "readers/ssp_files.h"
#include "readers/synthesis_result.h"
#include "support/limits.h"
#include "support/report.h"
#include "support/run_stop.h"

namespace veltrane {

// The run parameters that shape one galaxy's numbers.
struct GalaxySettings {
  std::string base_dir;    // base_SSP as read: used up to its first blank
  std::string filter_dir;  // Fil__Dir as read: used up to its first blank
  float t_cut = 0.0f;      // age cut, years: SSPs at least this old are old
  float Phyunits = 1.0f;   // physical-units factor of fluxes and masses (the run makes it positive)
  int Ext_Corr = 0;        // 1: de-redden the observation instead of reddening the model spectra
  bool literal = false;    // every fast path off: the reference the fast paths are tested against
};

// The SSP base tables and the filter set as a galaxy's readers leave them for the next one
// (a reader that fails early, or is not called, leaves the earlier ones in place).
struct Carried {
  std::shared_ptr<const BaseTables> base = BaseTables::initial();
  std::shared_ptr<const FilterSet> filters = FilterSet::unloaded();
};

// The rebuilt model spectra of one galaxy and the cleaned and extended observation.
struct ModelSpectra {
  int N_lb = 0;  // base grid points (b_lambda > 0)
  std::vector<float> red_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> ten_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> allssp_f = std::vector<float>(kMaxPoints, 0.0f);  // total model
  std::vector<float> youssp_f = std::vector<float>(kMaxPoints, 0.0f);  // young model
  std::vector<float> oldssp_f = std::vector<float>(kMaxPoints, 0.0f);  // old model
  int n_ext = 0;                                                       // cleaned and extended observed spectrum
  int n_trimmed = 0;  // of which the trimmed observation (the rest extends it)
  std::vector<float> onlambda = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> onfluxes = std::vector<float>(kMaxExtended, 0.0f);
  // Scratch of the merge that sorts the extended spectrum.
  std::vector<float> merge_lambda = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> merge_fluxes = std::vector<float>(kMaxExtended, 0.0f);
  // Young and old copies of the population columns.
  std::vector<float> x_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> x_old = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m2_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m2_old = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m3_you = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> m3_old = std::vector<float>(kMaxSsp, 0.0f);
};

// Everything one galaxy's computation fills. Its tables are allocated once at the maxima and
// reused from galaxy to galaxy: a galaxy that fails shows -999.0 wherever it computed nothing
// itself, and only what the tradition keeps (the base grid, the reddening term) carries over.
struct Galaxy {
  std::string arq_synt;   // its synthesis result, which names it in messages
  FitResult fit;          // the synthesis result as read; its observation de-reddened when asked
  int Num_base = 0;       // SSPs of the base file: the sums and the masses run over these
  Carried tables;         // the base and filter set the galaxy was computed on
  bool fit_read = false;  // the synthesis result was read (A_V and the law hold)
  bool rebuilt = false;   // the model spectra were rebuilt and measured on `tables`
  bool base_replaced = false, filters_replaced = false;  // by this galaxy's readers
  ModelSpectra spectra;
  MagnitudeTable mags;
  FilterResults filter_results;  // of the last spectrum measured (the old model)
  // log10 of the stellar masses in M_sun: total, young, old, each from the third then the
  // second population column; -999.0 for a part without mass.
  std::array<float, 6> log_mass{};
  std::vector<std::string> cut_at_limit;  // SSP files read up to the 10,000-point limit
  std::vector<std::string> warnings;      // for standard error
  FilterWork work;                        // scratch of the measurements
  // The extinction law's values on the grid of `law_grid`, kept from galaxy to galaxy.
  LawValues law_values;
  std::shared_ptr<const BaseTables> law_grid;
};

// One galaxy from its synthesis result `arq_synt` to its numbers, on the tables `before` left:
// loads the inputs (load_galaxy, galaxy/load.h), then, when the result was read and nothing
// stopped the run, computes it (compute_galaxy, galaxy/compute.h) and its masses for
// `distance` (Mpc; not positive: none; galaxy/masses.h). Every problem goes to `report`;
// Flow::stop after the report of a condition that ends the run (a missing base or SSP file, a
// filter set that cannot be read, repeated wavelengths). Warns (g.warnings) of the SSP files
// read up to the 10,000-point limit.
Flow rebuild_galaxy(ReportContext& report, const GalaxySettings& settings, const std::string& arq_synt, float distance,
                    InputCache::Session& session, const Carried& before, Galaxy& g);

}  // namespace veltrane
