// The synthesis result file of one model, read by position: header values, the population
// table and the observed spectrum. Indices are 0-based here (row j of the table is j - 1).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/limits.h"
#include "support/report.h"
#include "textio/list_input.h"

namespace veltrane {

struct FitResult {
  std::array<std::string, 4> arq_info;  // [1]: the base file name
  int Num_base = 0;                     // rows of the population table
  std::string R_LawOPT;                 // extinction-law code
  float qlbdnorm = 0.0f;
  float Olsynini = 0.0f;  // fit range, Å
  float Olsynfin = 0.0f;
  float lbd_norm = 0.0f;  // normalisation wavelength, Å
  float flx_norm = 0.0f;  // flux normalisation of the observed spectrum
  float mass_tot_2 = 0.0f;
  float mass_tot_3 = 0.0f;
  float A_V = 0.0f;  // V-band extinction, mag

  // Population table.
  std::vector<float> x_j = std::vector<float>(kMaxSsp, 0.0f);   // light fraction, per cent
  std::vector<float> m2_j = std::vector<float>(kMaxSsp, 0.0f);  // mass fractions, per cent
  std::vector<float> m3_j = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> age_j = std::vector<float>(kMaxSsp, 0.0f);  // years
  std::vector<float> met_j = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> alph_j = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<std::string> basename = std::vector<std::string>(kMaxSsp);
  float m3_sum = 0.0f;  // Σ m3_j over the rows read

  int N_obs = 0;  // observed points (a negative count read counts as 0)
  std::vector<float> o_lambda = std::vector<float>(kMaxPoints, 0.0f);  // Å
  std::vector<float> o_fluxes = std::vector<float>(kMaxPoints, 0.0f);  // physical units after reading
  std::vector<float> s_fluxes = std::vector<float>(kMaxPoints, 0.0f);
  std::vector<float> w_fluxes = std::vector<float>(kMaxPoints, 0.0f);
};

// Reads `arq_synt` into `fit` (values not in the file keep what they held) and rescales the
// observed fluxes by flx_norm × Phyunits. A missing or unreadable file (wrong form, early end,
// more than 300 rows or 10,000 points) prints its report, rewrites the galaxy's log with it
// and fails the galaxy for a problem naming the record; the values read before the failure
// stay stored.
// `open` opens it (nullopt when it cannot be, errno saying why): the input cache's, which
// notes the file's identity as it reads it.
using ResultOpener = std::function<std::optional<textio::RecordFile>(const std::string& path)>;
void Read_Out_KW(
    ReportContext& report, std::string_view arq_synt, float Phyunits, FitResult& fit,
    const ResultOpener& open = [](const std::string& p) { return textio::RecordFile::open(p); });
// The same on a file already opened (its records from the first), named `path` in problems.
void Read_Out_KW(ReportContext& report, textio::RecordFile& file, const std::string& path, float Phyunits,
                 FitResult& fit);

}  // namespace veltrane
