#include "photometry/magnitudes.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "photometry/filter_flux.h"

namespace veltrane {

std::array<float, kNumSystems> zero_points(const FilterSet& set, std::size_t i) {
  const float z1 = 2.5f * std::log10(set.F_l_Vega[i]);
  const float tg = set.T_G_Vega[i];
  return {z1, z1 + 0.026f, set.M_ABVega[i] + z1, tg > kSentinel ? tg + z1 : kSentinel, -21.1f, -21.175f, 0.0f};
}

namespace {

// Filter i's results and its seven magnitudes from its flux F.
void store(const FilterSet& set, std::size_t i, const FilterFlux& r, FilterResults& results, std::span<float> plane) {
  const float F = r.flux;
  results.filt_res_a[i] = r.covered;
  results.filt_res_b[i] = r.positive;
  const auto z = zero_points(set, i);
  results.filt_zp_v[i] = z[0];
  const float m = F > 0.0f ? 2.5f * std::log10(F) : 0.0f;
  for (std::size_t k = 0; k < std::size_t(kNumSystems); ++k) {
    // A NaN zero point fails the comparison and counts as missing.
    const float mag = (F > 0.0f && z[k] > kSentinel) ? z[k] - m : kSentinel;
    const std::size_t at = k * std::size_t(kMaxFilters) + i;
    if (at < plane.size()) plane[at] = mag;
  }
}

}  // namespace

void EvalFilters(ReportContext& report, std::span<const float> lambda, std::span<const float> flux,
                 const FilterSet& set, FilterResults& results, std::span<float> plane, Rule rule) {
  if (report.failed()) return;
  std::fill(results.filt_zp_v.begin(), results.filt_zp_v.end(), kSentinel);
  const int nfil = std::min(set.Nfilters, kMaxFilters);
  for (int f = 0; f < nfil; ++f) {
    const std::size_t i = std::size_t(f);
    store(set, i, EvalTFluxes(report, lambda, flux, set.lambda(f), set.transmission(f), set.T_l_Area[i], rule), results,
          plane);
  }
}

void EvalFilters(ReportContext& report, const Spectrum& s, const FilterSet& set, FilterResults& results,
                 std::span<float> plane, Rule rule, FilterWork& work, std::span<const Band> bands) {
  if (report.failed()) return;
  std::fill(results.filt_zp_v.begin(), results.filt_zp_v.end(), kSentinel);
  const int nfil = std::min(set.Nfilters, kMaxFilters);
  for (int f = 0; f < nfil; ++f) {
    const std::size_t i = std::size_t(f);
    const bool fast = rule == Rule::T && s.increasing && set.increasing[i];
    const FilterFlux r =
        fast ? EvalTFluxesOnBand(s, set.lambda(f), set.transmission(f), set.T_l_Area[i], work,
                                 i < bands.size() ? &bands[i] : nullptr)
             : EvalTFluxes(report, s.lambda, s.flux, set.lambda(f), set.transmission(f), set.T_l_Area[i], rule);
    store(set, i, r, results, plane);
  }
}

void EvalFiltersOnBands(ReportContext& report, std::span<const float> grid,
                        const std::array<std::span<const float>, 3>& fluxes, const FilterSet& set,
                        FilterResults& results, const std::array<std::span<float>, 3>& planes, FilterWork& work,
                        std::span<const Band> bands) {
  if (report.failed()) return;
  std::fill(results.filt_zp_v.begin(), results.filt_zp_v.end(), kSentinel);
  const int nfil = std::min(set.Nfilters, kMaxFilters);
  for (int f = 0; f < nfil; ++f) {
    const std::size_t i = std::size_t(f);
    const std::array<FilterFlux, 3> r =
        EvalTFluxesOnBands(grid, fluxes, set.lambda(f), set.T_l_Area[i], work, bands[i]);
    // (bands.size() ≥ Nfilters: the caller's condition)
    for (std::size_t j = 0; j < 3; ++j) store(set, i, r[j], results, planes[j]);
  }
}

}  // namespace veltrane
