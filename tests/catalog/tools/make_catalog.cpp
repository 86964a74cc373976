// make_catalog: writes a synthetic catalogue with the catalogue writer, for the checks with
// the real tools (fitsverify, astropy, fitsio, stilts, ulimit, kill) and the cluster tests.
//
//   make_catalog OUT.fits [--galaxies N] [--shard K/N] [--filters F] [--spectra P]
//                [--phyunits X] [--version V] [--skipped LIST] [--hold]
//
// Galaxy g of the grid (1-based) is "gal%05d" (galaxy 3 has a non-ASCII name), at 1.5 g
// Mpc (none for every 13th); every 11th has an unreadable result (no values), every 7th
// failed with some magnitudes missing, galaxy 1 never reaches a filter set; LIST (comma
// separated grid rows) are rows skipped as existing. Values are simple functions of g, the
// slot, the system and the filter, so any two runs of the same galaxies agree bit for bit.
// --hold: after the rows, prints "appended" and waits for a line on standard input ("finish"
// finishes, anything else abandons). A write failure prints the driver's
// "    ... ERROR -> Cannot write OUT" and exits with status 1.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/digest.h"
#include "catalog/writer.h"

using namespace veltrane::catalog;

namespace {

std::string galaxy_name(int g) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "gal%05d", g);
  return g == 3 ? std::string(buf) + "_\xc3\xbc" : buf;
}

FilterSetInfo filter_set(int n) {
  FilterSetInfo set;
  set.identity = Sha256().hex();
  set.standards = {"vega", "sun", "bd17"};
  for (int i = 0; i < n; ++i) {
    FilterEntry e;
    e.name = "filter_" + std::to_string(i + 1) + (i == 1 ? "_with_a_longer_name.dat" : ".dat");
    e.lambda_eff = 3000.0f + 500.0f * float(i);
    e.area = 800.0f + float(i);
    for (int s = 0; s < kSystems; ++s) e.zero_point[std::size_t(s)] = -20.0f - 0.25f * float(s) - 0.01f * float(i);
    if (i == 1) e.zero_point[3] = -999.0f;
    set.filters.push_back(e);
  }
  return set;
}

int fail(const CatalogWriter& w) {
  std::printf("    ... ERROR -> Cannot write %s\n", w.path().c_str());
  std::fprintf(stderr, "make_catalog: %s\n", w.error().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_catalog OUT.fits [options]\n");
    return 2;
  }
  const std::string out = argv[1];
  int galaxies = 40, shard = 1, shards = 1, nfilters = 5, points = 0;
  float phyunits = 1.0e-17f;
  std::string version = "1.1.0";
  std::set<int> skipped;
  bool hold = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--galaxies") galaxies = std::atoi(v), ++i;
    else if (a == "--shard") std::sscanf(v, "%d/%d", &shard, &shards), ++i;
    else if (a == "--filters") nfilters = std::atoi(v), ++i;
    else if (a == "--spectra") points = std::atoi(v), ++i;
    else if (a == "--phyunits") phyunits = std::strtof(v, nullptr), ++i;
    else if (a == "--version") version = v, ++i;
    else if (a == "--skipped") {
      for (const char* p = v; *p; p += std::strcspn(p, ",") + (p[std::strcspn(p, ",")] ? 1 : 0))
        skipped.insert(std::atoi(p));
      ++i;
    } else if (a == "--hold") hold = true;
    else {
      std::fprintf(stderr, "make_catalog: unknown option %s\n", a.c_str());
      return 2;
    }
  }

  Provenance p;
  p.version = version;
  p.grid_file = "survey.in";
  p.grid_identity = Sha256().hex();
  p.galaxies = galaxies;
  p.shard = shard;
  p.shards = shards;
  p.first_row = int((long long)galaxies * (shard - 1) / shards) + 1;
  p.last_row = int((long long)galaxies * shard / shards);
  p.path_dir = "galaxies/";
  p.base_dir = "base/";
  p.filter_dir = "filters/";
  p.t_cut_gyr = 1.0f;
  p.phyunits = phyunits;
  Layout layout;
  // NAME as wide as the longest name of the whole grid, so every shard agrees.
  for (int g = 1; g <= galaxies; ++g)
    layout.name_width = std::max(layout.name_width, int(fits_text_length(galaxy_name(g))));
  layout.result_width = int(p.path_dir.size()) + layout.name_width;
  layout.spectra = points > 0;

  CatalogWriter writer(out, p, layout);
  if (writer.failed()) return fail(writer);
  const FilterSetInfo set = filter_set(nfilters);
  std::vector<float> mags, cover, cover_pos, lambda, total, young, old;
  for (int g = p.first_row; g <= p.last_row; ++g) {
    const std::string name = galaxy_name(g), result = p.path_dir + name;
    GalaxyRow row;
    row.grid_row = g;
    row.name = name;
    row.result = result;
    row.distance = g % 13 == 0 ? 0.0f : 1.5f * float(g);
    row.status = kProcessed | (row.distance > 0.0f ? 0u : kNoDistance);
    row.av = NAN;
    if (skipped.count(g)) {
      row.status = kSkippedExisting;
      row.log_mass.fill(NAN);
    } else if (g % 11 == 0 || g == 1) {
      row.status |= kFailed | kResultUnread;
      row.log_mass.fill(NAN);
    } else {
      const bool failed = g % 7 == 0;
      if (failed) row.status |= kFailed;
      row.av = 0.01f * float(g % 50);
      row.law = g % 2 ? "CAL" : "GD1";
      for (int k = 0; k < kMasses; ++k) row.log_mass[std::size_t(k)] = k >= 4 && failed ? -999.0f : 9.0f + 0.1f * float(k) + 0.001f * float(g);
      const auto nf = std::size_t(nfilters);
      mags.assign(nf * kSlots * kSystems, 0.0f);
      for (std::size_t i = 0; i < mags.size(); ++i)
        mags[i] = failed && i % 5 == 0 ? -999.0f : 15.0f + 0.001f * float(g) + 0.01f * float(i);
      cover.assign(nf, 1.0f);
      cover_pos.assign(nf, failed ? 0.5f : 1.0f);
      row.filters = &set;
      row.magnitudes = mags;
      row.coverage = cover;
      row.coverage_positive = cover_pos;
      if (points > 0) {
        lambda.resize(std::size_t(points));
        total.resize(lambda.size());
        young.resize(lambda.size());
        old.resize(lambda.size());
        for (std::size_t i = 0; i < lambda.size(); ++i) {
          lambda[i] = 3000.0f + 2.0f * float(i);
          young[i] = 1.0e-17f * float(g) / (1.0f + float(i));
          old[i] = 2.0e-17f * float(g);
          total[i] = young[i] + old[i];
        }
        row.lambda = lambda;
        row.total = total;
        row.young = young;
        row.old = old;
      }
    }
    if (!writer.append(row)) return fail(writer);
  }
  if (hold) {
    std::printf("appended\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    if (line != "finish") {
      writer.abandon();
      return 0;
    }
  }
  if (!writer.finish()) return fail(writer);
  return 0;
}
