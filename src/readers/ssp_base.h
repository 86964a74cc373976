// The SSP base: per-SSP tables, the shared wavelength grid and the spectra, filled by
// Read_BASpec for every model. Indices are 0-based here (SSP k of the base file is k - 1).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"

namespace veltrane {

struct SspBase {
  std::vector<std::string> filebase = std::vector<std::string>(kMaxSsp);  // texts without trailing blanks
  std::vector<std::string> cod_base = std::vector<std::string>(kMaxSsp);
  std::vector<float> Mst_base = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> ind_exAV = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> QHc_base = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> b_lambda = std::vector<float>(kMaxPoints, 0.0f);                 // Å
  std::vector<float> b_fluxes = std::vector<float>(std::size_t(kMaxPoints) * kMaxSsp, 0.0f);  // column k: SSP k
  int Num_ages = 0;
  int Num_mets = 0;
  int NOl_base = 0;  // points read from the last SSP file
  int Ilowbase = 0;  // 1-based point numbers on the last SSP file's grid; 0: none
  int Iuppbase = 0;

  std::span<float> flux(int k) { return {b_fluxes.data() + std::size_t(k) * kMaxPoints, std::size_t(kMaxPoints)}; }
  std::span<const float> flux(int k) const {
    return {b_fluxes.data() + std::size_t(k) * kMaxPoints, std::size_t(kMaxPoints)};
  }
};

// Reads the base file `arq_base` and every SSP spectrum (`base_dir` up to its first blank,
// followed by the SSP's file name) into `base`, refilling the population-table columns
// age_base, met_base and alphbase (kMaxSsp entries each). `Num_base` is the synthesis result's
// count on entry and the base file's count on return. On failure: the report (console and
// rewritten log), IsKeepOn = 0, arq_base = "NONE". A missing base file or an SSP file that
// cannot be opened ends the run: the report, then RunStop(1). Fverbose 1 prints the listing,
// 5 every point.
void Read_BASpec(Console& console, SspBase& base, std::span<float> age_base,
                 std::span<float> met_base, std::span<float> alphbase, float Olsynini,
                 float Olsynfin, std::string& arq_base, std::string_view base_dir,
                 std::string_view log_name, int& Num_base, int& IsKeepOn, int Fverbose);

// One SSP spectrum file (`arq_file`, trailing blanks ignored) into b_lambda and column k
// (0-based) of b_fluxes: a header of records starting with "#" in the first column is
// skipped, then one point (wavelength in Å, flux) per record, at most kMaxPoints.
// Sets NOl_base (points read), Ilowbase (last point at or below Olsynini) and Iuppbase
// (first point above Olsynfin), both 1-based point numbers with 0 for "none". A read error
// or a missing bracket: the report (console and rewritten log) and IsKeepOn = 0. A file
// that cannot be opened (a directory included) ends the run: the report, then RunStop(1).
void ReadTextBAS(Console& console, SspBase& base, int k, std::string_view arq_file,
                 float Olsynini, float Olsynfin, std::string_view log_name, int& IsKeepOn);

// The value at x of a curve F sampled on the grid b_lambda (both of N = b_lambda.size()
// points), by linear interpolation with a fresh search, after checking that the grid
// increases strictly and that x lies on it (ends included). On failure: two lines on the
// console, IsKeepOn = 0, -999.0. A NaN among the grid points counts as a break of the order
// and a NaN x as out of range. F must hold at least N values. Resets the interpolation's
// saved bracket.
float StatsReNorm(Console& console, float x, std::span<const float> b_lambda,
                  std::span<const float> F, int& IsKeepOn);

}  // namespace veltrane
