// Generated inputs for the photometry tests: sampled curves and a filter directory
// (standard spectra, list, filter files) written into a temporary directory.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"

namespace ptest {

struct Curve {
  std::vector<float> l;  // Å
  std::vector<float> f;
};

// n samples evenly spaced over [a, b] (the last exactly b) of the function g.
template <class G>
Curve sample(double a, double b, int n, G g) {
  Curve c;
  for (int k = 0; k < n; ++k) {
    const double x = (k == n - 1) ? b : a + (b - a) * k / (n - 1);
    c.l.push_back(float(x));
    c.f.push_back(float(g(double(c.l.back()))));
  }
  return c;
}

// Shortest-enough decimal that reads back as the same float.
inline std::string num(float x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", double(x));
  return buf;
}

inline std::string spectrum_text(const std::string& label, const Curve& c) {
  std::string s = label + " " + std::to_string(c.l.size()) + "\n";
  for (std::size_t k = 0; k < c.l.size(); ++k) s += num(c.l[k]) + " " + num(c.f[k]) + "\n";
  return s;
}

// 15 header records, then "λ T" per record.
inline std::string filter_text(const Curve& c) {
  std::string s;
  for (int r = 0; r < 15; ++r) s += "# header record " + std::to_string(r + 1) + "\n";
  for (std::size_t k = 0; k < c.l.size(); ++k) s += "  " + num(c.l[k]) + "  " + num(c.f[k]) + "\n";
  return s;
}

// A complete filter directory: the three standard spectra, "ListFilters.txt" and one file
// per filter. Returns the directory text with its trailing "/".
inline std::string write_filter_dir(const std::string& dir, const Curve& vega, const Curve& sun,
                                    const Curve& bd,
                                    const std::vector<std::pair<std::string, Curve>>& filters) {
  vtest::write_file(dir + "/VegaLR.dat", spectrum_text("vega", vega));
  vtest::write_file(dir + "/Sun_LR.dat", spectrum_text("sun", sun));
  vtest::write_file(dir + "/BD+17d4708.dat", spectrum_text("bd17", bd));
  std::string list = std::to_string(filters.size()) + "\n";
  for (const auto& [name, curve] : filters) {
    list += name + "   rest of the record is ignored\n";
    vtest::write_file(dir + "/" + name, filter_text(curve));
  }
  vtest::write_file(dir + "/ListFilters.txt", list);
  return dir + "/";
}

// A hot-star-like spectrum: a 9600 K Planck curve scaled to 3.6e-9 erg/s/cm²/Å at 5500 Å.
inline double vega_like(double lambda_A) {
  const auto planck = [](double l) {
    const double x = 1.4387769e8 / (l * 9600.0);  // hc/(λkT) with λ in Å
    return 1.0 / (l * l * l * l * l * (std::exp(x) - 1.0));
  };
  return 3.6e-9 * planck(lambda_A) / planck(5500.0);
}

// A smooth bell-shaped transmission between a and b, peak 1 (zero at the ends).
inline double bell(double lambda_A, double a, double b) {
  if (lambda_A <= a || lambda_A >= b) return 0.0;
  const double u = (lambda_A - a) / (b - a);
  const double s = std::sin(3.14159265358979 * u);
  return s * s;
}

// Lines of captured console text.
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace ptest
