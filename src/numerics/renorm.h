// The value of a curve on the SSP base grid at one wavelength, after the checks of the grid
// (the renormalisation value of an SSP at the normalisation wavelength, and the reddening
// term read off at a wavelength).
#pragma once

#include <span>

#include "support/report.h"

namespace veltrane {

// The grid b_lambda(1..N) checked once for a model: its points, and whether they increase
// strictly.
struct BaseGrid {
  std::span<const float> lambda;
  bool increasing = false;
  explicit BaseGrid(std::span<const float> grid);
};

// The value at x of a curve F sampled on the grid b_lambda (both of N = b_lambda.size()
// points), by linear interpolation with a fresh search, after checking that the grid
// increases strictly and that x lies on it (ends included). On failure: the two-line problem
// report on the console, the model fails, -999.0. A NaN among the grid points breaks the
// order and a NaN x lies outside. F must hold at least N values (a shorter F is taken as an
// empty curve). Resets the interpolation's saved bracket.
float StatsReNorm(ReportContext& report, float x, std::span<const float> b_lambda, std::span<const float> F);
// The same on a grid checked once (BaseGrid): identical results, reports and saved bracket.
float StatsReNorm(ReportContext& report, float x, const BaseGrid& grid, std::span<const float> F);

}  // namespace veltrane
