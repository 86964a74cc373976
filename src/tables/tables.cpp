// The magnitude table ".MAG.out" and the spectrum table ".SPC.out" of one galaxy, and the
// report of a galaxy that failed on the console only.
#include "tables/tables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "tables/ecsv.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// m_obs − m_model, -999.0 when either is missing.
float observed_difference(float m_obs, float m_model) {
  if (m_obs == kSentinel || m_model == kSentinel) return kSentinel;
  return m_obs - m_model;
}

}  // namespace

void magnitude_table(const Galaxy& g, std::string& out) {
  using textio::append_e;
  using textio::append_f;
  const FilterSet& fs = *g.tables.filters;
  const FilterResults& fr = g.filter_results;
  const int rows = std::min(fs.Nfilters, kMaxFilters);
  out.clear();
  out.reserve(static_cast<std::size_t>(std::max(rows, 0)) * 295);
  for (int k = 0; k < rows; ++k) {
    const float m_obs = g.mags.at(k, 0, 0);
    const float m_tot = g.mags.at(k, 0, 1);
    const float m_you = g.mags.at(k, 0, 2);
    const float m_old = g.mags.at(k, 0, 3);
    const bool no_obs = m_obs == kSentinel;
    out.append("    ").append(textio::fmt_a_fixed(fs.name_fil[k], 10));
    for (float v : {fr.filt_res_b[k], fr.filt_res_a[k], fs.lamb_eff[k]}) append_f(out, v, 15, 5);
    for (float v : {fr.filt_zp_v[k], m_obs, m_tot, m_you, m_old}) append_e(out, v, 15, 5);
    for (float m : {m_tot, m_you, m_old}) append_e(out, no_obs ? kSentinel : observed_difference(m_obs, m), 15, 5);
    append_e(out, m_tot - m_old, 15, 5);
    append_f(out, m_obs - m_tot > 0.0f ? 0.0f : 1.0f, 10, 1);
    for (float v : g.log_mass) append_e(out, v, 15, 5);
    out.push_back('\n');
  }
}

void spectrum_table(const Galaxy& g, std::string& out, std::vector<float>& values, bool literal) {
  constexpr std::size_t kColumns = 9;
  const BaseTables& base = *g.tables.base;
  const ModelSpectra& s = g.spectra;
  const FitResult& fit = g.fit;
  const std::size_t rows = static_cast<std::size_t>(std::max(s.N_lb, 0));
  values.resize(rows * kColumns);
  float* v = values.data();
  for (std::size_t i = 0; i < rows; ++i, v += kColumns) {
    const bool observed = static_cast<int>(i) < fit.N_obs;
    v[0] = s.onlambda[i];
    v[1] = s.onfluxes[i];
    v[2] = observed ? fit.o_lambda[i] : 0.0f;
    v[3] = observed ? fit.o_fluxes[i] : 0.0f;
    v[4] = base.b_lambda[i];
    v[5] = s.allssp_f[i];
    v[6] = s.youssp_f[i];
    v[7] = s.oldssp_f[i];
    v[8] = s.red_term[i];
  }
  if (literal) {
    out.clear();
    for (std::size_t i = 0; i < values.size(); ++i)
      out.append(" ").append(textio::detail::list_real_literal(values[i])).append((i + 1) % kColumns ? "" : "\n");
    return;
  }
  // Sized once; a buffer that held a table of this size already is not filled first.
  out.resize(rows * (17 * kColumns + 1));
  textio::put_list_table(out.data(), values, kColumns);
}

void say_galaxy_header(Console& console, const GalaxyLabel& label, Verbosity verbosity) {
  console.say("... arq_synt: " + label.arq_synt);
  if (verbosity == Verbosity::echo) console.say("... distance: " + textio::adj_f(label.distance, 15, 8));
}

ProblemLog end_of_galaxy_report() {
  ProblemLog end;
  // verbatim: the report names the galaxy's status by its old flag, IsKeepOn.
  end.report(LogMode::append,
             {indent("[Veltrane] IsKeepOn === 0 @@@@@@@@@@@@"), indent("[Veltrane] Problem reported on console")});
  return end;
}

void format_tables(Console& console, int PrintFil, bool ecsv, const Galaxy& g, const GalaxyLabel& label,
                   TableTexts& out, bool literal) {
  out.mag = PrintFil >= 1;
  out.spc = PrintFil >= 2;
  out.mag_ecsv.clear();
  out.spc_ecsv.clear();
  if (!out.spc) out.spc_text.clear();
  if (!out.mag) {
    out.mag_text.clear();
    return;
  }
  if (!(label.distance > 0.0f)) console.say("... VT__WARN: No distance computed");  // verbatim
  magnitude_table(g, out.mag_text);
  if (ecsv) out.mag_ecsv = magnitude_ecsv(g, label);
  if (out.spc) {
    spectrum_table(g, out.spc_text, out.spc_values, literal);
    if (ecsv) out.spc_ecsv = spectrum_ecsv(g, label);
  }
}

}  // namespace veltrane
