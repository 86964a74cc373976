// A synthetic survey written through the catalogue writer, for the catalogue tests and for
// tests/catalog/tools/make_catalog (the checks with fitsverify, astropy, stilts, Slurm).
//
// Galaxy g of the grid (1-based) is "gal%05d" (galaxy 3 has a non-ASCII name), at 1.5 g
// Mpc (none for every 13th); galaxies up to `unread_upto` and every 11th have an unreadable
// result (no values, no filter set); every 7th failed with some magnitudes and masses
// missing (-999.0); `skipped` rows were skipped as existing. Every value is a function of g,
// the slot, the system, the filter and the point alone, so any split into shards writes the
// same rows.
#pragma once

#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/digest.h"
#include "catalog/reader.h"
#include "catalog/writer.h"

namespace vtest {

using namespace veltrane::catalog;

struct SampleOptions {
  int galaxies = 40, shard = 1, shards = 1;
  int filters = 5;
  int points = 0;  // spectra: points of the base grid; 0 none
  int unread_upto = 1;
  float phyunits = 1.0e-17f;
  float t_cut = 1.0f;  // Gyr
  std::string version = "1.1.0";
  std::string path_dir = "galaxies/";
  std::set<int> skipped;
};

inline std::string sample_name(int g) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "gal%05d", g);
  return g == 3 ? std::string(buf) + "_\xc3\xbc" : buf;
}

inline FilterSetInfo sample_filters(int n) {
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

inline Provenance sample_provenance(const SampleOptions& o) {
  Provenance p;
  p.version = o.version;
  p.grid_file = "survey.in";
  p.grid_identity = Sha256().hex();
  p.galaxies = o.galaxies;
  p.shard = o.shard;
  p.shards = o.shards;
  p.first_row = int((long long)o.galaxies * (o.shard - 1) / o.shards) + 1;
  p.last_row = int((long long)o.galaxies * o.shard / o.shards);
  p.path_dir = o.path_dir;
  p.base_dir = "base/";
  p.filter_dir = "filters/";
  p.t_cut_gyr = o.t_cut;
  p.phyunits = o.phyunits;
  return p;
}

// One galaxy's row with the storage its views point to.
struct SampleGalaxy {
  std::string name, result, law;
  std::vector<float> mags, cover, cover_pos, lambda, total, young, old;
  GalaxyRow row;
};

inline void sample_galaxy(int g, const SampleOptions& o, const FilterSetInfo& set, SampleGalaxy& s) {
  s = SampleGalaxy{};
  s.name = sample_name(g);
  s.result = o.path_dir + s.name;
  GalaxyRow& row = s.row;
  row.grid_row = g;
  row.name = s.name;
  row.result = s.result;
  row.distance = g % 13 == 0 ? 0.0f : 1.5f * float(g);
  row.status = kProcessed | (row.distance > 0.0f ? 0u : kNoDistance);
  row.av = NAN;
  row.log_mass.fill(NAN);
  if (o.skipped.count(g)) {
    row.status = kSkippedExisting;
    return;
  }
  if (g <= o.unread_upto || g % 11 == 0) {
    row.status |= kFailed | kResultUnread;
    return;
  }
  const bool failed = g % 7 == 0;
  if (failed) row.status |= kFailed;
  row.av = 0.01f * float(g % 50);
  s.law = g % 2 ? "CAL" : "GD1";
  row.law = s.law;
  for (int k = 0; k < kMasses; ++k)
    row.log_mass[std::size_t(k)] = k >= 4 && failed ? -999.0f : 9.0f + 0.1f * float(k) + 0.001f * float(g);
  const auto nf = std::size_t(o.filters);
  s.mags.resize(nf * kSlots * kSystems);
  for (std::size_t i = 0; i < s.mags.size(); ++i)
    s.mags[i] = failed && i % 5 == 0 ? -999.0f : 15.0f + 0.001f * float(g) + 0.01f * float(i);
  s.cover.assign(nf, 1.0f);
  s.cover_pos.assign(nf, failed ? 0.5f : 1.0f);
  row.filters = &set;
  row.magnitudes = s.mags;
  row.coverage = s.cover;
  row.coverage_positive = s.cover_pos;
  for (int i = 0; i < o.points; ++i) {
    s.lambda.push_back(3000.0f + 2.0f * float(i));
    s.young.push_back(1.0e-17f * float(g) / (1.0f + float(i)));
    s.old.push_back(2.0e-17f * float(g));
    s.total.push_back(s.young.back() + s.old.back());
  }
  row.lambda = s.lambda;
  row.total = s.total;
  row.young = s.young;
  row.old = s.old;
}

inline Layout sample_layout(const SampleOptions& o) {
  Layout layout;
  // NAME as wide as the longest name of the whole grid, so every shard agrees.
  for (int g = 1; g <= o.galaxies; ++g)
    layout.name_width = std::max(layout.name_width, int(fits_text_length(sample_name(g))));
  layout.result_width = int(fits_text_length(o.path_dir)) + layout.name_width;
  layout.spectra = o.points > 0;
  return layout;
}

// Writes the shard's galaxies to `path`; `before_finish` (when given) runs after the last
// row and says whether to finish. Returns the writer's error, empty on success.
inline std::string write_sample(const std::string& path, const SampleOptions& o,
                                const std::function<bool(CatalogWriter&)>& before_finish = {}) {
  const Provenance p = sample_provenance(o);
  CatalogWriter writer(path, p, sample_layout(o));
  const FilterSetInfo set = sample_filters(o.filters);
  SampleGalaxy s;
  for (int g = p.first_row; g <= p.last_row && !writer.failed(); ++g) {
    sample_galaxy(g, o, set, s);
    writer.append(s.row);
  }
  if (!writer.failed() && before_finish && !before_finish(writer)) {
    writer.abandon();
    return "";
  }
  if (!writer.failed()) writer.finish();
  return writer.failure().reason;
}

// The catalogue at `path` read back; nullopt (with the reason on standard error) when it
// cannot be, so that a test says why before it fails.
inline std::optional<CatalogReader> read_back(const std::string& path) {
  Failure failure;
  std::optional<CatalogReader> r = CatalogReader::open(path, failure);
  if (!r) std::fprintf(stderr, "%s\n", failure.where_and_why().c_str());
  return r;
}

}  // namespace vtest
