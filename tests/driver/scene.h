// A small complete scene for process-level tests: one or more galaxies, an SSP base and a
// filter directory in a temporary directory, and the grid file that runs them.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "fixtures.h"

namespace vtest {

// Planck-like shape in F_λ (arbitrary units), smooth and positive over 1000–30000 Å.
inline float blackbody(float lambda, float T) {
  const double l = static_cast<double>(lambda) * 1e-8;  // cm
  const double x = 1.4387769 / (l * static_cast<double>(T));
  return static_cast<float>(1e-27 / (std::pow(l, 5.0) * (std::exp(x) - 1.0)));
}

struct Scene {
  TempDir dir;
  SynthFile synth;
  std::vector<SspSpec> ssps;
  FilterDir filters;
  GridFile grid;

  Scene() {
    const std::vector<float> l = vtest::grid(3000.0f, 9000.0f, 10.0f);
    for (int k = 0; k < 2; ++k) {
      SspSpec s;
      s.file = "ssp" + std::to_string(k + 1) + ".txt";
      s.age = k == 0 ? 1.0e7f : 1.0e10f;
      s.lambda = l;
      for (float v : l) s.flux.push_back(blackbody(v, k == 0 ? 12000.0f : 5000.0f));
      ssps.push_back(s);
    }
    synth.rows = {PopRow{60.0f, 10.0f, 10.0f, 1.0e7f, 0.02f, 0.0f, "ssp1.txt"},
                  PopRow{40.0f, 90.0f, 90.0f, 1.0e10f, 0.02f, 0.0f, "ssp2.txt"}};
    for (float v = 3600.0f; v <= 8000.0f; v += 4.0f) synth.obs.push_back({v, 1.0f, 0.05f, 1.0f});
    filters.vega_l = vtest::grid(2000.0f, 12000.0f, 5.0f);
    for (float v : filters.vega_l) filters.vega_f.push_back(blackbody(v, 9600.0f) * 1e-12f);
    filters.filters = {{"BoxBlue.dat", box_filter(4000.0f, 5000.0f, 5.0f)},
                       {"BoxRedFilterLongName.dat", box_filter(5600.0f, 6600.0f, 5.0f)}};
    grid.path_dir = dir.str() + "/";
    grid.base_dir = dir.str() + "/";
    grid.fil_dir = dir.str() + "/filters/";
    grid.models = {"gal01 10.0"};
  }

  // Writes every input; returns the grid file's path.
  std::string write() {
    write_base(dir.str(), synth.base_file, ssps);
    filters.write(dir.str() + "/filters");
    for (const std::string& m : grid.models) {
      const std::string name = m.substr(0, m.find(' '));
      if (!name.empty() && name.find('/') == std::string::npos && name != "missing")
        write_file(dir / name, synth.text());
    }
    write_file(dir / "grid.in", grid.text());
    return dir / "grid.in";
  }
  std::string file(const std::string& name) const { return dir / name; }
};

}  // namespace vtest
