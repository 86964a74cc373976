// Synthetic magnitudes of a spectrum through the filter set in seven photometric systems,
// and the magnitude table that holds them for the four spectrum slots.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "support/limits.h"
#include "support/report.h"

namespace veltrane {

// (filter, system, slot), 0-based, the filter index varying fastest; sized for the seven
// systems and four slots that are used.
struct MagnitudeTable {
  std::vector<float> m = std::vector<float>(std::size_t(kMaxFilters) * kNumSystems * kNumSlots, 0.0f);
  float& at(int filter, int system, int slot) {
    return m[(std::size_t(slot) * kNumSystems + std::size_t(system)) * kMaxFilters + std::size_t(filter)];
  }
  float at(int filter, int system, int slot) const {
    return m[(std::size_t(slot) * kNumSystems + std::size_t(system)) * kMaxFilters + std::size_t(filter)];
  }
  // One (filter, system) plane.
  std::span<float> plane(int slot) {
    return {m.data() + std::size_t(slot) * kNumSystems * kMaxFilters, std::size_t(kNumSystems) * kMaxFilters};
  }
};

// Per-filter results of the last EvalFilters call.
struct FilterResults {
  std::vector<float> filt_res_a = std::vector<float>(kMaxFilters, 0.0f);  // covered fraction
  std::vector<float> filt_res_b = std::vector<float>(kMaxFilters, 0.0f);  // positive fraction
  std::vector<float> filt_zp_v = std::vector<float>(kMaxFilters, 0.0f);   // 2.5 log10(F_l_Vega)
};

// Zero points Z_k of filter i (0-based) in the seven systems, in the order of kSystemNames
// (support/names.h); -999.0 for a TG zero point without T_G_Vega.
std::array<float, kNumSystems> zero_points(const FilterSet& set, std::size_t i);

// Magnitudes of the spectrum (lambda, flux; up to 20,000 samples) into `plane`
// (kNumSystems × kMaxFilters, filter fastest): Z_k − 2.5 log10(F) when F > 0 and
// Z_k > -999.0, else -999.0. Does nothing when the model has failed before the call.
//
// Zero points of filter i: Z_1 = 2.5 log10(F_l_Vega), Z_2 = Z_1 + 0.026, Z_3 = M_ABVega + Z_1,
// Z_4 = T_G_Vega + Z_1 (-999.0 when T_G_Vega is -999.0), Z_5 = -21.1, Z_6 = -21.175, Z_7 = 0.
// Writes filt_res_a/filt_res_b and the plane entries of filters 0..Nfilters-1 only, and
// filt_zp_v = Z_1 for those filters, -999.0 for all others. A failed integration fails the
// model and the remaining filters are still measured.
void EvalFilters(ReportContext& report, std::span<const float> lambda, std::span<const float> flux,
                 const FilterSet& set, FilterResults& results, std::span<float> plane, Rule rule);
// The same, filter by filter through EvalTFluxesOnBand where it applies (rule T, both the
// spectrum and the filter strictly increasing), bit for bit. `bands`, when not empty, holds
// band_on_grid of this spectrum's grid for every filter of the set.
void EvalFilters(ReportContext& report, const Spectrum& s, const FilterSet& set, FilterResults& results,
                 std::span<float> plane, Rule rule, FilterWork& work, std::span<const Band> bands = {});

// Three spectra on one strictly increasing grid measured at once (EvalTFluxesOnBands), as
// three calls of EvalFilters above would measure them one after the other, bit for bit:
// planes[j] for fluxes[j], `results` as the third leaves them. For rule T, a filter set whose
// filters all increase strictly, and the bands of every filter on this grid (at least
// Nfilters of them).
void EvalFiltersOnBands(ReportContext& report, std::span<const float> grid,
                        const std::array<std::span<const float>, 3>& fluxes, const FilterSet& set,
                        FilterResults& results, const std::array<std::span<float>, 3>& planes, FilterWork& work,
                        std::span<const Band> bands);

}  // namespace veltrane
