// Population split and spectrum rebuild of one model. See docs/formulae.md for the physics.
#include <algorithm>
#include <cmath>
#include <span>

#include "driver/state.h"
#include "extinction/red_term.h"
#include "numerics/interpolation.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "readers/ssp_base.h"
#include "textio/format.h"

namespace veltrane {
namespace {

constexpr int kIntegrationMode = 2;  // trapezoids

std::span<const float> head(const std::vector<float>& v, int n) {
  return {v.data(), static_cast<std::size_t>(std::max(0, n))};
}

// Young/old copies of the three population columns. When the old SSPs carry no m3_j at all
// the whole population counts as young.
void split_population(RunState& run) {
  const FitResult& fit = run.fit;
  ModelSpectra& s = run.spectra;
  const int rows = std::min(fit.Num_base, kMaxSsp);
  float old_sum = 0.0f;
  for (int j = 0; j < rows; ++j)
    if (fit.age_j[j] >= run.t_cut) old_sum = old_sum + fit.m3_j[j];
  const bool all_young = old_sum / fit.m3_sum == 0.0f;
  for (int j = 0; j < rows; ++j) {
    const bool old = !all_young && fit.age_j[j] >= run.t_cut;
    s.x_you[j] = old ? 0.0f : fit.x_j[j];
    s.m2_you[j] = old ? 0.0f : fit.m2_j[j];
    s.m3_you[j] = old ? 0.0f : fit.m3_j[j];
    s.x_old[j] = old ? fit.x_j[j] : 0.0f;
    s.m2_old[j] = old ? fit.m2_j[j] : 0.0f;
    s.m3_old[j] = old ? fit.m3_j[j] : 0.0f;
  }
}

// Σ_j b_fluxes(·, j) × (x_j / 100) / S_j, each SSP normalised at lbd_norm.
void sum_normalised_ssps(Console& console, RunState& run, int& IsKeepOn) {
  ModelSpectra& s = run.spectra;
  const int n = s.N_lb;
  std::fill(s.allssp_f.begin(), s.allssp_f.end(), 0.0f);
  std::fill(s.youssp_f.begin(), s.youssp_f.end(), 0.0f);
  std::fill(s.oldssp_f.begin(), s.oldssp_f.end(), 0.0f);
  const auto grid = head(run.base.b_lambda, n);
  const int ssps = std::min(run.fit.Num_base, kMaxSsp);
  for (int j = 0; j < ssps; ++j) {
    const std::span<const float> f = run.base.flux(j).first(static_cast<std::size_t>(n));
    const float S_j = StatsReNorm(console, run.fit.lbd_norm, grid, f, IsKeepOn);
    const float wa = run.fit.x_j[j] / 100.0f;
    const float wy = s.x_you[j] / 100.0f;
    const float wo = s.x_old[j] / 100.0f;
    for (int i = 0; i < n; ++i) {
      s.allssp_f[i] = s.allssp_f[i] + (f[i] * wa) / S_j;
      s.youssp_f[i] = s.youssp_f[i] + (f[i] * wy) / S_j;
      s.oldssp_f[i] = s.oldssp_f[i] + (f[i] * wo) / S_j;
    }
  }
}

// Physical units, and either the de-reddened observation (Ext_Corr 1, A_V ≥ 0) or the
// reddened models.
void scale_spectra(Console& console, RunState& run, int& IsKeepOn) {
  ModelSpectra& s = run.spectra;
  FitResult& fit = run.fit;
  const int n = s.N_lb;
  const float Phyunits = run.params.Phyunits;
  if (run.params.Ext_Corr == 1 && fit.A_V >= 0.0f) {
    const auto grid = head(run.base.b_lambda, n);
    const auto red = head(s.red_term, n);
    const float qn = StatsReNorm(console, fit.lbd_norm, grid, red, IsKeepOn);
    const float F = fit.flx_norm * std::pow(10.0f, (0.4f * fit.qlbdnorm - qn) * fit.A_V);
    for (int i = 0; i < fit.N_obs; ++i) {
      const float r = StatsReNorm(console, fit.o_lambda[i], grid, red, IsKeepOn);
      fit.o_fluxes[i] = fit.o_fluxes[i] * std::pow(10.0f, (0.4f * fit.qlbdnorm - r) * fit.A_V);
    }
    const float scale = F * Phyunits;
    for (int i = 0; i < n; ++i) {
      s.allssp_f[i] = s.allssp_f[i] * scale;
      s.youssp_f[i] = s.youssp_f[i] * scale;
      s.oldssp_f[i] = s.oldssp_f[i] * scale;
    }
  } else {
    const float units = fit.flx_norm * Phyunits;
    for (int i = 0; i < n; ++i) {
      const float factor = units * s.ten_term[i];
      s.allssp_f[i] = s.allssp_f[i] * factor;
      s.youssp_f[i] = s.youssp_f[i] * factor;
      s.oldssp_f[i] = s.oldssp_f[i] * factor;
    }
  }
}

// The observed spectrum without ten points at each end of its positive-flux range, gaps
// filled with the total model, extended below and above with the model. Returns false when
// the extension had to store more points than the table holds, which only happens when a
// base point is stored twice (a repeated wavelength).
bool clean_and_extend(RunState& run) {
  ModelSpectra& s = run.spectra;
  const FitResult& fit = run.fit;
  const auto& b = run.base.b_lambda;

  // Smallest and largest wavelength among the points of positive flux (1-based, 0: none);
  // NaN wavelengths are passed over unless they are all there is.
  int iMin = 0, iMax = 0;
  for (int i = 1; i <= fit.N_obs; ++i) {
    if (!(fit.o_fluxes[i - 1] > 0.0f)) continue;
    const float l = fit.o_lambda[i - 1];
    if (iMin == 0 || (std::isnan(fit.o_lambda[iMin - 1]) && !std::isnan(l)) ||
        l < fit.o_lambda[iMin - 1])
      iMin = i;
    if (iMax == 0 || (std::isnan(fit.o_lambda[iMax - 1]) && !std::isnan(l)) ||
        l > fit.o_lambda[iMax - 1])
      iMax = i;
  }

  std::fill(s.onlambda.begin(), s.onlambda.end(), 0.0f);
  std::fill(s.onfluxes.begin(), s.onfluxes.end(), 0.0f);
  int n = iMax - iMin - 19;
  const auto grid = head(b, s.N_lb);
  const auto model = head(s.allssp_f, s.N_lb);
  if (n <= 0) {
    // No usable observed range: the model alone.
    std::copy_n(b.begin(), s.N_lb, s.onlambda.begin());
    std::copy_n(s.allssp_f.begin(), s.N_lb, s.onfluxes.begin());
    s.n_ext = s.N_lb;
    return true;
  }
  std::copy_n(fit.o_lambda.begin() + (iMin + 9), n, s.onlambda.begin());
  std::copy_n(fit.o_fluxes.begin() + (iMin + 9), n, s.onfluxes.begin());

  // Gap repair over eleven points around every non-positive flux, five points from either end.
  for (int k = 1; k <= n; ++k) {
    if (s.onfluxes[k - 1] <= 0.0f && k > 5 && k + 5 < n) {
      for (int m = k + 5; m >= k - 5; --m) {
        int ilastval = -999;
        s.onfluxes[m - 1] = LINEAR1_Deg(s.onlambda[m - 1], grid, model, ilastval);
      }
    }
  }

  const float first = s.onlambda[0];
  const float last = s.onlambda[n - 1];
  int c = 1;
  bool fits = true;
  auto store = [&](int i) {
    if (n + c > kMaxExtended) {
      fits = false;
      return;
    }
    s.onlambda[n + c - 1] = b[i];
    s.onfluxes[n + c - 1] = s.allssp_f[i];
    ++c;
  };
  for (int i = 0; i < s.N_lb; ++i) {
    if (b[i] < first) store(i);
    if (b[i] > last) store(i);
  }
  s.n_ext = n + c - 1;
  return fits;
}

// Stable insertion sort by wavelength, fluxes moving along.
void sort_extended(ModelSpectra& s) {
  for (int k = 1; k < s.n_ext; ++k) {
    const float l = s.onlambda[k];
    const float f = s.onfluxes[k];
    int j = k - 1;
    while (j >= 0 && s.onlambda[j] > l) {
      s.onlambda[j + 1] = s.onlambda[j];
      s.onfluxes[j + 1] = s.onfluxes[j];
      --j;
    }
    s.onlambda[j + 1] = l;
    s.onfluxes[j + 1] = f;
  }
}

bool strictly_increasing(const ModelSpectra& s) {
  for (int i = 1; i < s.n_ext; ++i)
    if (s.onlambda[i] - s.onlambda[i - 1] <= 0.0f) return false;
  return true;
}

}  // namespace

void rebuild_model(Console& console, RunState& run, const ModelFiles& files, int& IsKeepOn) {
  const RunParams& p = run.params;
  FitResult& fit = run.fit;
  ModelSpectra& s = run.spectra;

  split_population(run);

  const std::string base_dir = textio::used_part(p.base_SSP);
  run.arq_base = textio::cut_text(base_dir + fit.arq_info[1]);
  Read_BASpec(console, run.base, fit.age_j, fit.met_j, fit.alph_j, fit.Olsynini, fit.Olsynfin,
              run.arq_base, base_dir, files.log, fit.Num_base, IsKeepOn, p.Fverbose);
  ReadFilters(console, run.filters, textio::used_part(p.fil_dir), kIntegrationMode, IsKeepOn,
              p.Fverbose);

  s.N_lb = static_cast<int>(
      std::count_if(run.base.b_lambda.begin(), run.base.b_lambda.end(), [](float l) { return l > 0.0f; }));

  EvalRedTerm(console, run.base.b_lambda, s.red_term, fit.lbd_norm, fit.qlbdnorm, fit.R_LawOPT,
              files.log, IsKeepOn);
  for (int i = 0; i < s.N_lb; ++i) s.ten_term[i] = std::pow(10.0f, fit.A_V * s.red_term[i]);

  sum_normalised_ssps(console, run, IsKeepOn);
  scale_spectra(console, run, IsKeepOn);
  const bool fits = clean_and_extend(run);

  const auto plane = [&](int slot) { return run.mags.plane(slot); };
  EvalFilters(console, head(fit.o_lambda, fit.N_obs), head(fit.o_fluxes, fit.N_obs), run.filters,
              run.filter_results, plane(0), kIntegrationMode, IsKeepOn);

  if (fits) sort_extended(s);
  if (!fits || (s.n_ext > 1 && !strictly_increasing(s))) {
    console.say("... Lambda is not monotonic!");
    console.say("... Aqui a coisa foi pro beleléu!");
    throw RunStop(1, "extended spectrum not monotonic");
  }
  EvalFilters(console, head(s.onlambda, s.n_ext), head(s.onfluxes, s.n_ext), run.filters,
              run.filter_results, plane(0), kIntegrationMode, IsKeepOn);
  const auto grid = head(run.base.b_lambda, s.N_lb);
  EvalFilters(console, grid, head(s.allssp_f, s.N_lb), run.filters, run.filter_results, plane(1),
              kIntegrationMode, IsKeepOn);
  EvalFilters(console, grid, head(s.youssp_f, s.N_lb), run.filters, run.filter_results, plane(2),
              kIntegrationMode, IsKeepOn);
  EvalFilters(console, grid, head(s.oldssp_f, s.N_lb), run.filters, run.filter_results, plane(3),
              kIntegrationMode, IsKeepOn);
}

}  // namespace veltrane
