// The run's own inputs: the nine run parameters of a grid file or of standard input, and the
// galaxy records ("name distance") after them. A record that is missing or cannot be read is
// a problem naming the input and the record; nothing is read past it.
#pragma once

#include <optional>
#include <string>

#include "support/problem.h"
#include "textio/list_input.h"

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
  int Fverbose = 0;       // as read; its meaning: verbosity_of (support/report.h)
  float t_cut = 0.0f;     // age cut, years (set by the run from t_cutGyr)
};

// Reads the nine parameter records from `in` (named `origin` in problems: the grid file, or
// "standard input"): N_models (i15), the three directories (a), t_cutGyr (free format),
// Phyunits ((e15.5) in a grid file, free format from standard input), Ext_Corr, PrintFil and
// Fverbose (i15). The problem of the first record that is missing or cannot be read.
std::optional<Problem> read_run_parameters(textio::RecordFile& in, const std::string& origin, bool grid_file,
                                           RunParams& p);

// One galaxy record, read in free format: the name and the distance (Mpc), both set anew
// (blank and 0.0) first, so a record that leaves one unread never keeps another galaxy's.
// The problem when the record is missing or cannot be read.
std::optional<Problem> read_galaxy_record(textio::RecordFile& in, const std::string& origin, std::string& name,
                                          float& distance);

}  // namespace veltrane
