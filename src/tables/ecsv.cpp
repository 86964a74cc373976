#include "tables/ecsv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "support/names.h"
#include "textio/format.h"

namespace veltrane {
namespace {

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

void galaxy_meta(Ecsv& t, const GalaxyLabel& label) {
  t.meta("galaxy", Ecsv::yaml_quoted(textio::used_part(label.name)));
  t.meta("synthesis_result", Ecsv::yaml_quoted(label.arq_synt));
  t.meta("distance", "{value: " + Ecsv::yaml_real(label.distance) + ", unit: Mpc}");
  t.meta("generator", Ecsv::yaml_quoted(std::string("veltrane ") + VELTRANE_VERSION));
}

}  // namespace

std::string magnitude_ecsv(const Galaxy& g, const GalaxyLabel& label) {
  const FilterSet& fs = *g.tables.filters;
  const std::array<float, 6>& masses = g.log_mass;
  Ecsv t;
  t.column("filter", "string", "", "filter file name, as listed in ListFilters.txt");
  t.column("lambda_eff", "float32", "Angstrom", "effective wavelength of the filter");
  t.column("zero_point", "float32", "mag", "2.5 log10 of Vega's flux through the filter");
  t.column("coverage", "float32", "", "fraction of the filter's area covered by the old model spectrum");
  t.column("coverage_positive", "float32", "", "the same where that spectrum's flux is positive");
  for (const SlotName& slot : kSlotNames)
    for (const SystemName& system : kSystemNames)
      t.column("m_" + std::string(slot.key) + "_" + std::string(system.key), "float32", "mag",
               "magnitude of " + std::string(slot.about) + " in the " + std::string(system.about) + " system");
  galaxy_meta(t, label);
  for (std::size_t k = 0; k < masses.size(); ++k)
    t.meta("log_mass_" + std::string(kMassNames[k].key),
           masses[k] == kSentinel ? "null" : "{value: " + Ecsv::yaml_real(masses[k]) + ", unit: dex(solMass)}");
  const FilterResults& fr = g.filter_results;
  for (int i = 0; i < std::min(fs.Nfilters, kMaxFilters); ++i) {
    const std::size_t k = std::size_t(i);
    t.text(fs.name_fil[k]);
    for (float v : {fs.lamb_eff[k], fr.filt_zp_v[k], fr.filt_res_a[k], fr.filt_res_b[k]}) t.number(v);
    for (int c = 0; c < kNumSlots; ++c)
      for (int s = 0; s < kNumSystems; ++s) t.number(g.mags.at(i, s, c));
    t.end_row();
  }
  return t.str();
}

std::string spectrum_ecsv(const Galaxy& g, const GalaxyLabel& label) {
  const BaseTables& base = *g.tables.base;
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
  galaxy_meta(t, label);
  const ModelSpectra& s = g.spectra;
  const FitResult& fit = g.fit;
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

}  // namespace veltrane
