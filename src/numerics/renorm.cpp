#include "numerics/renorm.h"

#include "numerics/interpolation.h"
#include "numerics/order.h"
#include "support/limits.h"

namespace veltrane {
namespace {

template <class Interpolate>
float renorm(ReportContext& report, float x, std::span<const float> grid, bool increasing, std::span<const float> F,
             Interpolate interpolate) {
  if (F.size() < grid.size()) F = F.first(0);  // never read past the curve
  // verbatim: both messages, padded with "@" to one length.
  if (!increasing) {
    report.console_problem("[StatsReNorm] λ is not in increasing @",
                           "the base grid's wavelengths do not increase strictly");
    return kSentinel;
  }
  // An empty grid has no range, and a NaN x lies nowhere on it.
  if (grid.empty() || !(grid.front() <= x && x <= grid.back())) {
    report.console_problem("[StatsReNorm] λ is out of range @@@@@@",
                           grid.empty() ? "no base grid to read a value off at " + number_text(x) + " Å"
                                        : number_text(x) + " Å lies outside the base grid [" +
                                              number_text(grid.front()) + ", " + number_text(grid.back()) + "] Å");
    return kSentinel;
  }
  int ilastval = -999;  // a fresh bracket search from the first grid point
  return interpolate(x, grid, F.first(grid.size()), ilastval);
}

}  // namespace

BaseGrid::BaseGrid(std::span<const float> grid) : lambda(grid), increasing(strictly_increasing(grid)) {}

float StatsReNorm(ReportContext& report, float x, std::span<const float> b_lambda, std::span<const float> F) {
  return renorm(report, x, b_lambda, strictly_increasing(b_lambda), F, LINEAR1_Deg);
}

float StatsReNorm(ReportContext& report, float x, const BaseGrid& grid, std::span<const float> F) {
  return renorm(report, x, grid.lambda, grid.increasing, F, LINEAR1_Deg_increasing);
}

}  // namespace veltrane
