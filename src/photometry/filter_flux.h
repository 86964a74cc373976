// The flux of a spectrum through one filter.
#pragma once

#include <span>

#include "numerics/console.h"

namespace veltrane {

struct FilterFlux {
  float flux = 0.0f;        // ∫Fs·Ts dλ over positive-flux samples (not divided); -999.0: no overlap
  float lambda_eff = 0.0f;  // ∫λ T dλ / ∫T dλ on the filter's own samples, Å
  float covered = 0.0f;     // ∫Ts dλ / D
  float positive = 0.0f;    // ∫Ts·Q dλ / D, Q = 1 where the flux is positive
};

// Spectrum (ls, fs) of up to 20,000 samples, filter (lf, tf), divisor D (the filter's
// T_l_Area). A failed integration prints its report and clears IsKeepOn.
FilterFlux EvalTFluxes(Console& console, std::span<const float> ls, std::span<const float> fs,
                       std::span<const float> lf, std::span<const float> tf, float D, int mode,
                       int& IsKeepOn);

}  // namespace veltrane
