// The per-run tables the driver owns: allocated once at the maxima and reused from model to
// model. Routines of the other subsystems fill them through references.
#pragma once

#include <string>
#include <vector>

#include "numerics/common.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "readers/ssp_base.h"
#include "readers/synthesis_result.h"

namespace veltrane {

// The nine run parameters.
struct RunParams {
  int N_models = 0;
  std::string path_DIR;  // texts as read, without trailing blanks
  std::string base_SSP;
  std::string fil_dir;
  float t_cutGyr = 0.0f;  // age cut, Gyr
  float Phyunits = 0.0f;  // physical-units factor
  int Ext_Corr = 0;       // 1: de-redden the observation instead of reddening the models
  int PrintFil = 0;       // 1: ".MAG.out", 2: also ".SPC.out"
  int Fverbose = 0;       // 0: echo; 1: banner and reader listings
};

// The rebuilt spectra of one model.
struct ModelSpectra {
  int N_lb = 0;  // base grid points (b_lambda > 0)
  std::vector<float> red_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> ten_term = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> allssp_f = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> youssp_f = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> oldssp_f = std::vector<float>(kMaxPoints, 0.0f);
  int n_ext = 0;  // cleaned and extended observed spectrum
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

struct RunState {
  RunParams params;
  float t_cut = 0.0f;  // age cut, years
  FitResult fit;
  SspBase base;
  std::string arq_base;
  FilterSet filters;
  ModelSpectra spectra;
  MagnitudeTable mags;
  FilterResults filter_results;
};

// Per-model file names.
struct ModelFiles {
  std::string arq_synt;  // synthesis result
  std::string log;       // ".LOG"
  std::string mag;       // ".MAG.out"
  std::string spc;       // ".SPC.out"
};

// Young/old split, base, filter set, reddening, rebuilt and scaled spectra, the cleaned and
// extended observed spectrum and the five magnitude calls. Ends the run (RunStop) on the
// stops of the readers and of an extended spectrum with repeated wavelengths.
void rebuild_model(Console& console, RunState& run, const ModelFiles& files, int& IsKeepOn);

// ".MAG.out" (PrintFil ≥ 1) and ".SPC.out" (PrintFil ≥ 2), written through a temporary file
// and renamed; a table that cannot be written ends the run (RunStop(1)).
void write_output_tables(Console& console, const RunState& run, const ModelFiles& files,
                         float distance);

}  // namespace veltrane
