// The magnitude table ".MAG.out" and the spectrum table ".SPC.out" of one model.
// See docs/formulae.md for the distance term and the stellar masses.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "driver/state.h"
#include "numerics/problem_log.h"
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
std::array<float, 6> log_masses(const RunState& run, float dist_term) {
  const FitResult& fit = run.fit;
  const ModelSpectra& s = run.spectra;
  const float L = std::log10(run.params.Phyunits);
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

// Writes `text` to `path` through "<path>.tmp" and a rename, so an interrupted run never
// leaves a truncated table under the final name.
void write_atomically(Console& console, const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  bool ok = f != nullptr;
  if (ok) {
    ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
  }
  if (!ok) {
    std::remove(tmp.c_str());
    fail_cannot_write(console, path);
  }
}

std::string magnitude_table(const RunState& run, const std::array<float, 6>& masses) {
  using textio::append_e;
  using textio::append_f;
  const FilterSet& fs = run.filters;
  const FilterResults& fr = run.filter_results;
  const int rows = std::min(fs.Nfilters, kMaxFilters);
  std::string out;
  out.reserve(static_cast<std::size_t>(std::max(rows, 0)) * 295);
  for (int k = 0; k < rows; ++k) {
    const float m_obs = run.mags.at(k, 0, 0);
    const float m_tot = run.mags.at(k, 0, 1);
    const float m_you = run.mags.at(k, 0, 2);
    const float m_old = run.mags.at(k, 0, 3);
    const bool no_obs = m_obs == kSentinel;
    out.append("    ").append(textio::fmt_a_fixed(fs.name_fil[k], 10));
    for (float v : {fr.filt_res_b[k], fr.filt_res_a[k], fs.lamb_eff[k]}) append_f(out, v, 15, 5);
    for (float v : {fr.filt_zp_v[k], m_obs, m_tot, m_you, m_old}) append_e(out, v, 15, 5);
    for (float m : {m_tot, m_you, m_old})
      append_e(out, no_obs ? kSentinel : observed_difference(m_obs, m), 15, 5);
    append_e(out, m_tot - m_old, 15, 5);
    append_f(out, m_obs - m_tot > 0.0f ? 0.0f : 1.0f, 10, 1);
    for (float v : masses) append_e(out, v, 15, 5);
    out.push_back('\n');
  }
  return out;
}

std::string spectrum_table(const RunState& run) {
  const ModelSpectra& s = run.spectra;
  const FitResult& fit = run.fit;
  std::string out;
  out.reserve(static_cast<std::size_t>(s.N_lb) * 154);
  for (int i = 0; i < s.N_lb; ++i) {
    const bool observed = i < fit.N_obs;
    const std::array<float, 9> row = {s.onlambda[i],
                                      s.onfluxes[i],
                                      observed ? fit.o_lambda[i] : 0.0f,
                                      observed ? fit.o_fluxes[i] : 0.0f,
                                      run.base.b_lambda[i],
                                      s.allssp_f[i],
                                      s.youssp_f[i],
                                      s.oldssp_f[i],
                                      s.red_term[i]};
    textio::append_list_record(out, row);
    out.push_back('\n');
  }
  return out;
}

}  // namespace

void write_output_tables(Console& console, const RunState& run, const ModelFiles& files,
                         float distance) {
  if (run.params.PrintFil <= 0) return;
  const float dist_term = distance_term(console, distance);
  write_atomically(console, files.mag, magnitude_table(run, log_masses(run, dist_term)));
  if (run.params.PrintFil >= 2) write_atomically(console, files.spc, spectrum_table(run));
}

}  // namespace veltrane
