// The flux of a spectrum through one filter.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "numerics/integration.h"
#include "support/limits.h"
#include "support/report.h"

namespace veltrane {

struct FilterFlux {
  float flux = 0.0f;        // ∫Fs·Ts dλ over positive-flux samples (not divided); -999.0: no overlap
  float lambda_eff = 0.0f;  // ∫λ T dλ / ∫T dλ on the filter's own samples, Å
  float covered = 0.0f;     // ∫Ts dλ / D
  float positive = 0.0f;    // ∫Ts·Q dλ / D, Q = 1 where the flux is positive
};

// Spectrum (ls, fs) of up to 20,000 samples, filter (lf, tf), divisor D (the filter's
// T_l_Area). A failed integration prints its report and fails the model.
//
// All integrals use `rule` over the filter's range [lf(1), lf(Nf)]. The effective wavelength
// comes first, whatever follows (-999.0/-999.0 = 1.0 when both integrals fail). A spectrum
// that does not overlap the filter (or has no samples) gives flux -999.0 and fractions 0.0,
// prints nothing and does not fail the model; a filter with no samples gives flux and
// effective wavelength -999.0 and fractions 0.0. Ns = min(ls.size(), fs.size()),
// Nf = min(lf.size(), tf.size()); nothing outside them is read.
// Leaves LINEAR1_Deg's saved bracket exactly where the sample-by-sample interpolation with
// a fresh search per sample would (a strictly increasing filter takes a binary search).
FilterFlux EvalTFluxes(ReportContext& report, std::span<const float> ls, std::span<const float> fs,
                       std::span<const float> lf, std::span<const float> tf, float D, Rule rule);

// The same measurement with every transmission taken by LINEAR1_Deg with a fresh search:
// the slow reference that EvalTFluxes must match bit for bit.
FilterFlux EvalTFluxesLiteral(ReportContext& report, std::span<const float> ls, std::span<const float> fs,
                              std::span<const float> lf, std::span<const float> tf, float D, Rule rule);

// A spectrum checked once for all the filters it is measured through.
struct Spectrum {
  std::span<const float> lambda, flux;  // Ns = the shorter
  bool increasing = false;              // strictly, no NaN
  Spectrum(std::span<const float> l, std::span<const float> f);
};

// Work arrays of the fast measurement: 0.0 everywhere between two filters.
struct FilterWork {
  std::vector<float> ts = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> tq = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> tp = std::vector<float>(kMaxExtended, 0.0f);
  std::vector<float> tp2 = std::vector<float>(kMaxExtended, 0.0f);  // EvalTFluxesOnBands' second and third
  std::vector<float> tp3 = std::vector<float>(kMaxExtended, 0.0f);
};

// What EvalTFluxes finds for one filter on one strictly increasing grid before it looks at
// the fluxes: the samples inside the filter, the clipped transmission there, its integral
// (the covered fraction's numerator) and the saved bracket it leaves. The same for the three
// model spectra of every model that shares the base grid and the filter set.
struct Band {
  bool overlap = false;  // false: no overlap, flux -999.0
  std::size_t k0 = 0, k1 = 0;
  std::vector<float> ts;  // samples k0 .. k1 - 1
  float covered = 0.0f;
  int bracket = 0;  // saved bracket after the transmission (0: left unchanged)
};
Band band_on_grid(std::span<const float> grid, std::span<const float> lf, std::span<const float> tf);

// EvalTFluxes without the effective wavelength (not computed), for a filter of two samples or
// more that increase strictly, a spectrum that increases strictly and rule T: the same flux,
// fractions, reports, status and saved bracket, with the work over the filter's samples
// only (binary searches, one sweep for the transmission). `band`, when given, is
// band_on_grid of this spectrum's grid and filter. `work` is left all 0.0.
FilterFlux EvalTFluxesOnBand(const Spectrum& s, std::span<const float> lf, std::span<const float> tf, float D,
                             FilterWork& work, const Band* band = nullptr);

// EvalTFluxesOnBand of three spectra on one grid (strictly increasing, the grid of `band`, a
// band of filter (lf, tf)) at once: the same fluxes and fractions as three calls one after
// the other, and the saved bracket as the third leaves it. The products of the three are
// formed side by side and their sums run as independent chains; `work` is left all 0.0.
std::array<FilterFlux, 3> EvalTFluxesOnBands(std::span<const float> grid,
                                             const std::array<std::span<const float>, 3>& fluxes,
                                             std::span<const float> lf, float D, FilterWork& work, const Band& band);

namespace detail {

// The filter transmission at every spectrum wavelength inside [lf(1), lf(Nf)] (both ends
// included) into ts (ls.size() elements); 0.0 at the samples outside. Not yet clipped.
// `literal` forces one LINEAR1_Deg call with a fresh search per inside sample; otherwise a
// strictly increasing filter of at least two samples is searched by bisection, with the
// same bracket, the same arithmetic and the same final saved bracket.
void transmission_on_spectrum(std::span<const float> ls, std::span<const float> lf, std::span<const float> tf,
                              std::span<float> ts, bool literal);

}  // namespace detail

}  // namespace veltrane
