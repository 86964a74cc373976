// Generated inputs for the process-level tests: synthesis result files, SSP bases, filter
// sets and grid files, written into a test's temporary directory. Every number is written
// with enough digits to read back to the same float.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "test_util.h"

namespace vtest {

inline std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

struct PopRow {
  float x = 100.0f, m2 = 100.0f, m3 = 100.0f, age = 1.0e9f, met = 0.02f, alpha = 0.0f;
  std::string name = "ssp.txt";
};

// A synthesis result file: 63 header records, the population table, 2N + 17 records, the
// observed spectrum. `replace` swaps whole records (1-based) for other text.
struct SynthFile {
  std::string base_file = "base.txt";
  std::string law = "CAL";
  float qlbdnorm = 0.0f, Olsynini = 3700.0f, Olsynfin = 6800.0f, lbd_norm = 4020.0f;
  float flx_norm = 1.0f, mass_tot_2 = 1.0e9f, mass_tot_3 = 1.0e9f, A_V = 0.0f;
  int num_base = -1;  // the count written on record 10 (-1: rows.size())
  std::vector<PopRow> rows{PopRow{}};
  std::vector<std::array<float, 4>> obs;
  bool comments = false;  // a comment after every value
  std::map<int, std::string> replace;

  std::string text() const {
    std::vector<std::string> r(64);  // 1-based
    const std::string c = comments ? "   ! some comment, with words" : "";
    for (int i = 1; i <= 63; ++i) r[i] = "# skipped record " + std::to_string(i);
    r[6] = "spectrum.txt" + c;
    r[7] = base_file + c;
    r[8] = "mask.txt" + c;
    r[9] = "config.txt" + c;
    const int nb = num_base < 0 ? static_cast<int>(rows.size()) : num_base;
    r[10] = std::to_string(nb) + c;
    r[11] = "3" + c;
    r[12] = "4" + c;
    r[13] = "1.5" + c;
    r[14] = law + c;
    r[15] = num(qlbdnorm) + c;
    r[18] = num(Olsynini) + c;
    r[19] = num(Olsynfin) + c;
    r[20] = "1.0" + c;
    r[23] = num(lbd_norm) + c;
    r[24] = "4000." + c;
    r[25] = "4100." + c;
    r[26] = num(flx_norm) + c;
    for (int i = 29; i <= 35; ++i) r[i] = "0.5" + c;
    r[39] = "1" + c;
    r[40] = "2" + c;
    r[41] = "5 token" + c;
    for (int i = 42; i <= 44; ++i) r[i] = "7" + c;
    r[45] = "1 2 3" + c;
    r[46] = "1.0 2.0 3.0 4.0" + c;
    r[50] = "1.0" + c;
    r[51] = "1.0" + c;
    r[53] = "1.0" + c;
    r[54] = "1.0" + c;
    r[55] = num(mass_tot_2) + c;
    r[56] = num(mass_tot_3) + c;
    r[58] = "1.0" + c;
    r[59] = "1.0" + c;
    r[60] = num(A_V) + c;
    r[61] = "1.0" + c;
    for (const auto& [k, v] : replace)
      if (k <= 63) r[static_cast<std::size_t>(k)] = v;
    std::string out;
    for (int i = 1; i <= 63; ++i) out += r[static_cast<std::size_t>(i)] + "\n";
    for (const PopRow& p : rows)
      out += "  row " + num(p.x) + " " + num(p.m2) + " " + num(p.m3) + " " + num(p.age) + " " +
             num(p.met) + " 0.0 0.0 0.0 " + p.name + " " + num(p.alpha) + c + "\n";
    for (int i = 0; i < 2 * nb + 17; ++i) out += "# skipped\n";
    out += std::to_string(obs.size()) + c + "\n";
    for (const auto& o : obs)
      out += num(o[0]) + " " + num(o[1]) + " " + num(o[2]) + " " + num(o[3]) + c + "\n";
    return out;
  }
};

// A grid file: the nine parameter records, then one record per model.
struct GridFile {
  int n_models = 1;
  std::string path_dir = "./", base_dir = "./", fil_dir = "./";
  std::string t_cut = "1.0", phyunits = "1.0", ext_corr = "0", print_fil = "1", verbose = "0";
  std::vector<std::string> models{"gal01 10.0"};
  std::string text() const {
    std::string out = std::to_string(n_models) + "\n" + path_dir + "\n" + base_dir + "\n" + fil_dir +
                      "\n" + t_cut + "\n" + phyunits + "\n" + ext_corr + "\n" + print_fil + "\n" +
                      verbose + "\n";
    for (const auto& m : models) out += m + "\n";
    return out;
  }
};

// An SSP base: the base file and one spectrum file per SSP.
struct SspSpec {
  std::string file;
  float age = 1.0e9f, met = 0.02f, mstar = 0.5f;
  std::vector<float> lambda, flux;
};

inline void write_base(const std::string& dir, const std::string& base_name,
                       const std::vector<SspSpec>& ssps) {
  std::string base = std::to_string(ssps.size()) + "\n";
  for (const SspSpec& s : ssps) {
    base += s.file + " " + num(s.age) + " " + num(s.met) + " code " + num(s.mstar) + " 0.0 0.0\n";
    std::string spec = "# synthetic SSP\n# lambda flux\n";
    for (std::size_t i = 0; i < s.lambda.size(); ++i) spec += num(s.lambda[i]) + " " + num(s.flux[i]) + "\n";
    write_file(dir + "/" + s.file, spec);
  }
  write_file(dir + "/" + base_name, base);
}

// A standard spectrum file "label N" then N samples.
inline void write_standard(const std::string& path, const std::vector<float>& l, const std::vector<float>& f) {
  std::string out = "star " + std::to_string(l.size()) + "\n";
  for (std::size_t i = 0; i < l.size(); ++i) out += num(l[i]) + " " + num(f[i]) + "\n";
  write_file(path, out);
}

// A filter file: 15 header records, then the curve.
inline void write_filter(const std::string& path, const std::vector<float>& l, const std::vector<float>& t) {
  std::string out;
  for (int i = 0; i < 15; ++i) out += "# header " + std::to_string(i + 1) + "\n";
  for (std::size_t i = 0; i < l.size(); ++i) out += num(l[i]) + " " + num(t[i]) + "\n";
  write_file(path, out);
}

// Filter directory: the three standard spectra (the same `vega` spectrum for all three unless
// given) and the filters, named in list order.
struct FilterDir {
  std::vector<float> vega_l, vega_f;
  std::vector<std::pair<std::string, std::pair<std::vector<float>, std::vector<float>>>> filters;
  void write(const std::string& dir) const {
    write_standard(dir + "/VegaLR.dat", vega_l, vega_f);
    write_standard(dir + "/Sun_LR.dat", vega_l, vega_f);
    write_standard(dir + "/BD+17d4708.dat", vega_l, vega_f);
    std::string list = std::to_string(filters.size()) + "\n";
    for (const auto& [name, curve] : filters) {
      list += name + "\n";
      write_filter(dir + "/" + name, curve.first, curve.second);
    }
    write_file(dir + "/ListFilters.txt", list);
  }
};

// Regular grid lo, lo + step, ..., hi.
inline std::vector<float> grid(float lo, float hi, float step) {
  std::vector<float> g;
  for (int i = 0;; ++i) {
    const float v = lo + step * static_cast<float>(i);
    if (v > hi + 1e-3f) break;
    g.push_back(v);
  }
  return g;
}

// A boxy filter with linear wings, peak 1.
inline std::pair<std::vector<float>, std::vector<float>> box_filter(float lo, float hi, float step) {
  std::vector<float> l = grid(lo, hi, step), t;
  for (float v : l) {
    const float edge = std::min(v - lo, hi - v) / (0.1f * (hi - lo));
    t.push_back(std::min(1.0f, std::max(0.0f, edge)));
  }
  return {l, t};
}

}  // namespace vtest
