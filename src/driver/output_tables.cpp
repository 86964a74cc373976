// The magnitude table ".MAG.out" and the spectrum table ".SPC.out" of one model.
// See docs/formulae.md for the distance term and the stellar masses.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "driver/model.h"
#include "textio/format.h"

namespace veltrane {
namespace {

constexpr float kLogSunLuminosity = 33.582745f;  // log10 of L_sun in erg/s

// log10 of 4πd² with d in Mpc expressed in cm; 0 (with a warning) without a distance.
float distance_term(Console& console, float distance) {
  if (distance > 0.0f) return std::log10((distance * distance) * 12.566371f) + 48.97879f;
  console.say("... VT__WARN: No distance computed");
  return 0.0f;
}

// Six log stellar masses: totals 3 and 2, young 3 and 2, old 3 and 2.
std::array<float, 6> log_masses(const RunParams& p, const Worker& w, float dist_term) {
  const FitResult& fit = w.fit;
  const ModelSpectra& s = w.spectra;
  const float L = std::log10(p.Phyunits);
  auto total = [&](float m) { return ((std::log10(m) - kLogSunLuminosity) + L) + dist_term; };
  const int ssps = std::min(fit.Num_base, kMaxSsp);
  auto part = [&](const std::vector<float>& column, float m) {
    if (ssps < 1) return kSentinel;
    float sum = 0.0f;
    for (int j = 0; j < ssps; ++j) sum = sum + column[j];
    if (!(sum > 0.0f)) return kSentinel;
    return ((std::log10((m * sum) / 100.0f) - kLogSunLuminosity) + L) + dist_term;
  };
  return {total(fit.mass_tot_3), total(fit.mass_tot_2), part(s.m3_you, fit.mass_tot_3),
          part(s.m2_you, fit.mass_tot_2),  part(s.m3_old, fit.mass_tot_3), part(s.m2_old, fit.mass_tot_2)};
}

// m_obs − m_model, -999.0 when either is missing.
float observed_difference(float m_obs, float m_model) {
  if (m_obs == kSentinel || m_model == kSentinel) return kSentinel;
  return m_obs - m_model;
}

std::string magnitude_table(const Worker& w, const FilterSet& fs, const std::array<float, 6>& masses) {
  using textio::fmt_e;
  using textio::fmt_f;
  const FilterResults& fr = w.filter_results;
  const int rows = std::min(fs.Nfilters, kMaxFilters);
  std::string out;
  out.reserve(static_cast<std::size_t>(std::max(rows, 0)) * 295);
  for (int k = 0; k < rows; ++k) {
    const float m_obs = w.mags.at(k, 0, 0);
    const float m_tot = w.mags.at(k, 0, 1);
    const float m_you = w.mags.at(k, 0, 2);
    const float m_old = w.mags.at(k, 0, 3);
    const bool no_obs = m_obs == kSentinel;
    out.append("    ").append(textio::fmt_a_fixed(fs.name_fil[k], 10));
    out.append(fmt_f(fr.filt_res_b[k], 15, 5)).append(fmt_f(fr.filt_res_a[k], 15, 5));
    out.append(fmt_f(fs.lamb_eff[k], 15, 5));
    for (float v : {fr.filt_zp_v[k], m_obs, m_tot, m_you, m_old}) out.append(fmt_e(v, 15, 5));
    for (float m : {m_tot, m_you, m_old})
      out.append(fmt_e(no_obs ? kSentinel : observed_difference(m_obs, m), 15, 5));
    out.append(fmt_e(m_tot - m_old, 15, 5));
    out.append(fmt_f(m_obs - m_tot > 0.0f ? 0.0f : 1.0f, 10, 1));
    for (float v : masses) out.append(fmt_e(v, 15, 5));
    out.push_back('\n');
  }
  return out;
}

std::string spectrum_table(const Worker& w, const BaseTables& base) {
  const ModelSpectra& s = w.spectra;
  const FitResult& fit = w.fit;
  std::string out;
  out.reserve(static_cast<std::size_t>(s.N_lb) * 154);
  for (int i = 0; i < s.N_lb; ++i) {
    const bool observed = i < fit.N_obs;
    const std::array<float, 9> row = {s.onlambda[i],
                                      s.onfluxes[i],
                                      observed ? fit.o_lambda[i] : 0.0f,
                                      observed ? fit.o_fluxes[i] : 0.0f,
                                      base.b_lambda[i],
                                      s.allssp_f[i],
                                      s.youssp_f[i],
                                      s.oldssp_f[i],
                                      s.red_term[i]};
    out.append(textio::list_record(row)).push_back('\n');
  }
  return out;
}

}  // namespace

void format_tables(Console& console, const RunParams& p, const Worker& w, const Carried& state,
                   float distance, ModelOutcome& out) {
  if (p.PrintFil <= 0) return;
  const float dist_term = distance_term(console, distance);
  out.mag = true;
  out.mag_text = magnitude_table(w, *state.filters, log_masses(p, w, dist_term));
  if (p.PrintFil >= 2) {
    out.spc = true;
    out.spc_text = spectrum_table(w, *state.base);
  }
}

}  // namespace veltrane
