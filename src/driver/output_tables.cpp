// The magnitude table ".MAG.out" and the spectrum table ".SPC.out" of one model.
// See docs/formulae.md for the distance term and the stellar masses.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "driver/model.h"
#include "textio/format.h"

namespace veltrane {
namespace {

constexpr float kLogSunLuminosity = 33.582745f;  // log10 of L_sun in erg/s

// log10 of 4πd² with d in Mpc expressed in cm; 0 without a distance.
float distance_term(float distance) {
  if (distance > 0.0f) return std::log10((distance * distance) * 12.566371f) + 48.97879f;
  return 0.0f;
}

}  // namespace

std::array<float, 6> log_masses(const RunParams& p, const Worker& w, float distance) {
  const float dist_term = distance_term(distance);
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
  return {total(fit.mass_tot_3),          total(fit.mass_tot_2),          part(s.m3_you, fit.mass_tot_3),
          part(s.m2_you, fit.mass_tot_2), part(s.m3_old, fit.mass_tot_3), part(s.m2_old, fit.mass_tot_2)};
}

namespace {

// m_obs − m_model, -999.0 when either is missing.
float observed_difference(float m_obs, float m_model) {
  if (m_obs == kSentinel || m_model == kSentinel) return kSentinel;
  return m_obs - m_model;
}

std::string magnitude_table(const Worker& w, const FilterSet& fs, const std::array<float, 6>& masses) {
  using textio::append_e;
  using textio::append_f;
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
    for (float v : {fr.filt_res_b[k], fr.filt_res_a[k], fs.lamb_eff[k]}) append_f(out, v, 15, 5);
    for (float v : {fr.filt_zp_v[k], m_obs, m_tot, m_you, m_old}) append_e(out, v, 15, 5);
    for (float m : {m_tot, m_you, m_old}) append_e(out, no_obs ? kSentinel : observed_difference(m_obs, m), 15, 5);
    append_e(out, m_tot - m_old, 15, 5);
    append_f(out, m_obs - m_tot > 0.0f ? 0.0f : 1.0f, 10, 1);
    for (float v : masses) append_e(out, v, 15, 5);
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
    textio::append_list_record(out, row);
    out.push_back('\n');
  }
  return out;
}

// ECSV (astropy's Enhanced CSV): a YAML header of named, typed and documented columns,
// then one space-separated row per record; -999.0 (a missing value) is an empty field, read
// as masked. Floats are written in their shortest form that reads back to the same float.
class Ecsv {
 public:
  void column(std::string_view name, std::string_view type, std::string_view unit, std::string_view about) {
    header_ += "# - {name: " + std::string(name);
    if (!unit.empty()) header_ += ", unit: " + std::string(unit);
    header_ += ", datatype: " + std::string(type) + ", description: " + yaml_quoted(about) + "}\n";
    names_ += (names_.empty() ? "" : " ") + std::string(name);
  }
  void meta(std::string_view key, std::string_view value) {
    meta_ += "# - {" + std::string(key) + ": " + std::string(value) + "}\n";
  }
  void text(std::string_view v) { field(quoted(v)); }
  void number(float v) { field(v == kSentinel ? "\"\"" : real(v)); }
  void end_row() { rows_ += '\n'; }
  std::string str() const {
    return "# %ECSV 1.0\n# ---\n# datatype:\n" + header_ + "# meta: !!omap\n" + meta_ + "# schema: astropy-2.0\n" +
           names_ + "\n" + rows_;
  }
  static std::string real(float v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
  }
  // A YAML double-quoted scalar (header and metadata).
  static std::string yaml_quoted(std::string_view v) {
    std::string q = "\"";
    for (unsigned char c : v) {
      if (c == '"' || c == '\\') {
        q += '\\';
        q += char(c);
      } else if (c < 0x20 || c == 0x7f) {
        char b[5];
        std::snprintf(b, sizeof b, "\\x%02X", c);
        q += b;
      } else {
        q += char(c);
      }
    }
    return q + "\"";
  }
  // A YAML float: YAML spells NaN and the infinities its own way, and reads a number without
  // a point ("1e-05") as a string.
  static std::string yaml_real(float v) {
    if (std::isnan(v)) return ".nan";
    if (std::isinf(v)) return v > 0 ? ".inf" : "-.inf";
    std::string s = real(v);
    if (s.find('.') == std::string::npos) {
      const std::size_t e = s.find('e');
      s.insert(e == std::string::npos ? s.size() : e, ".0");
    }
    return s;
  }
  // A data field (CSV quoting: a quote is doubled).
  static std::string quoted(std::string_view v) {
    std::string q = "\"";
    for (char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
  }

 private:
  void field(const std::string& f) {
    if (!rows_.empty() && rows_.back() != '\n') rows_ += ' ';
    rows_ += f;
  }
  std::string header_, meta_, names_, rows_;
};

constexpr const char* kSlots[] = {"obs", "tot", "young", "old"};
constexpr const char* kSlotAbout[] = {"the cleaned and extended observed spectrum", "the total model",
                                      "the young model", "the old model"};
constexpr const char* kSystems[] = {"vega", "vegabg04", "ab", "tg", "wfpc2", "foca", "nocalib"};
constexpr const char* kSystemAbout[] = {"Vega at 0",         "Vega at 0.026",          "AB",
                                        "BD+17d4708 at 9.5", "WFPC2 zero point -21.1", "FOCA zero point -21.175",
                                        "no zero point"};

void galaxy_meta(Ecsv& t, const ModelJob& job) {
  t.meta("galaxy", Ecsv::yaml_quoted(textio::used_part(job.name)));
  t.meta("synthesis_result", Ecsv::yaml_quoted(job.files.arq_synt));
  t.meta("distance", "{value: " + Ecsv::yaml_real(job.distance) + ", unit: Mpc}");
  t.meta("generator", Ecsv::yaml_quoted(std::string("veltrane ") + VELTRANE_VERSION));
}

std::string magnitude_ecsv(const Worker& w, const FilterSet& fs, const std::array<float, 6>& masses,
                           const ModelJob& job) {
  Ecsv t;
  t.column("filter", "string", "", "filter file name, as listed in ListFilters.txt");
  t.column("lambda_eff", "float32", "Angstrom", "effective wavelength of the filter");
  t.column("zero_point", "float32", "mag", "2.5 log10 of Vega's flux through the filter");
  t.column("coverage", "float32", "", "fraction of the filter's area covered by the old model spectrum");
  t.column("coverage_positive", "float32", "", "the same where that spectrum's flux is positive");
  for (int c = 0; c < kNumSlots; ++c)
    for (int k = 0; k < kNumSystems; ++k)
      t.column(std::string("m_") + kSlots[c] + "_" + kSystems[k], "float32", "mag",
               std::string("magnitude of ") + kSlotAbout[c] + " in the " + kSystemAbout[k] + " system");
  galaxy_meta(t, job);
  const char* mass_keys[] = {"log_mass_total_m3", "log_mass_total_m2", "log_mass_young_m3",
                             "log_mass_young_m2", "log_mass_old_m3",   "log_mass_old_m2"};
  for (std::size_t k = 0; k < masses.size(); ++k)
    t.meta(mass_keys[k],
           masses[k] == kSentinel ? "null" : "{value: " + Ecsv::yaml_real(masses[k]) + ", unit: dex(solMass)}");
  const FilterResults& fr = w.filter_results;
  for (int i = 0; i < std::min(fs.Nfilters, kMaxFilters); ++i) {
    const std::size_t k = std::size_t(i);
    t.text(fs.name_fil[k]);
    for (float v : {fs.lamb_eff[k], fr.filt_zp_v[k], fr.filt_res_a[k], fr.filt_res_b[k]}) t.number(v);
    for (int c = 0; c < kNumSlots; ++c)
      for (int s = 0; s < kNumSystems; ++s) t.number(w.mags.at(i, s, c));
    t.end_row();
  }
  return t.str();
}

std::string spectrum_ecsv(const Worker& w, const BaseTables& base, const ModelJob& job) {
  Ecsv t;
  t.column("lambda_ext", "float32", "Angstrom", "cleaned and extended observed spectrum: wavelength");
  t.column("flux_ext", "float32", "", "cleaned and extended observed spectrum: flux per Angstrom (Phyunits)");
  t.column("lambda_obs", "float32", "Angstrom", "observed spectrum as read: wavelength");
  t.column("flux_obs", "float32", "", "observed spectrum as read (de-reddened when asked): flux per Angstrom");
  t.column("lambda", "float32", "Angstrom", "base wavelength grid");
  t.column("flux_total", "float32", "", "total model: flux per Angstrom");
  t.column("flux_young", "float32", "", "young model: flux per Angstrom");
  t.column("flux_old", "float32", "", "old model: flux per Angstrom");
  t.column("red_term", "float32", "", "reddening term -0.4 (q(lambda) - q(lambda_norm)), per unit A_V");
  galaxy_meta(t, job);
  const ModelSpectra& s = w.spectra;
  const FitResult& fit = w.fit;
  // Every column to its own length (the spectrum table stops at the base grid's).
  const int rows = std::max({s.N_lb, s.n_ext, fit.N_obs});
  for (int i = 0; i < rows; ++i) {
    const bool ext = i < s.n_ext, obs = i < fit.N_obs, grid = i < s.N_lb;
    for (float v :
         {ext ? s.onlambda[i] : kSentinel, ext ? s.onfluxes[i] : kSentinel, obs ? fit.o_lambda[i] : kSentinel,
          obs ? fit.o_fluxes[i] : kSentinel, grid ? base.b_lambda[i] : kSentinel, grid ? s.allssp_f[i] : kSentinel,
          grid ? s.youssp_f[i] : kSentinel, grid ? s.oldssp_f[i] : kSentinel, grid ? s.red_term[i] : kSentinel})
      t.number(v);
    t.end_row();
  }
  return t.str();
}

}  // namespace

void format_tables(Console& console, const RunParams& p, const Worker& w, const Carried& state, const ModelJob& job,
                   const std::array<float, 6>& masses, ModelOutcome& out) {
  if (p.PrintFil <= 0) return;
  if (!(job.distance > 0.0f)) console.say("... VT__WARN: No distance computed");  // verbatim
  out.mag = true;
  out.mag_text = magnitude_table(w, *state.filters, masses);
  if (p.ecsv) out.mag_ecsv = magnitude_ecsv(w, *state.filters, masses, job);
  if (p.PrintFil >= 2) {
    out.spc = true;
    out.spc_text = spectrum_table(w, *state.base);
    if (p.ecsv) out.spc_ecsv = spectrum_ecsv(w, *state.base, job);
  }
}

}  // namespace veltrane

namespace veltrane {

void keep_catalog_values(const RunParams& p, const Worker& w, const Carried& state, bool fit_read, bool measured,
                         const std::array<float, 6>& masses, CatalogValues& out) {
  out.fit_read = fit_read;
  if (fit_read) {
    out.A_V = w.fit.A_V;
    out.law = std::string(textio::trim_right(w.fit.R_LawOPT));
  }
  out.measured = measured;
  if (!measured) return;
  out.log_mass = masses;
  const int nf = std::clamp(state.filters->Nfilters, 0, kMaxFilters);
  const auto head = [](const std::vector<float>& v, int n) {
    return std::vector<float>(v.begin(), v.begin() + std::clamp(n, 0, int(v.size())));
  };
  out.magnitudes.clear();
  out.magnitudes.reserve(std::size_t(kNumSlots) * kNumSystems * std::size_t(nf));
  for (int slot = 0; slot < kNumSlots; ++slot)
    for (int system = 0; system < kNumSystems; ++system)
      for (int k = 0; k < nf; ++k) out.magnitudes.push_back(w.mags.at(k, system, slot));
  out.coverage = head(w.filter_results.filt_res_a, nf);
  out.coverage_positive = head(w.filter_results.filt_res_b, nf);
  if (!p.catalog_spectra) return;
  const ModelSpectra& s = w.spectra;
  out.lambda = head(state.base->b_lambda, s.N_lb);
  out.total = head(s.allssp_f, s.N_lb);
  out.young = head(s.youssp_f, s.N_lb);
  out.old = head(s.oldssp_f, s.N_lb);
}

}  // namespace veltrane
