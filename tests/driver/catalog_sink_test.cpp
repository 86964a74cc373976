// The catalogue sink: the STATUS and values of the row of each kind of galaxy the model loop
// hands it, and the catalogue it continues with --skip-existing (which galaxies it holds, its
// processed rows carried, another run's catalogue refused untouched).
#include "driver/catalog_sink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "catalog/reader.h"
#include "driver/galaxy_sources.h"
#include "test_util.h"

namespace veltrane {
namespace {

using namespace veltrane::catalog;

CatalogSink::Setup setup(const std::string& path, int shard, bool continue_existing) {
  CatalogSink::Setup s{path, {}, {}, continue_existing};
  s.provenance.version = "test";
  s.provenance.galaxies = 7;
  s.provenance.shard = shard;
  s.provenance.path_dir = "g/";
  s.layout.name_width = 8;
  s.layout.result_width = 10;
  return s;
}

GalaxyOutcome outcome(bool processed, bool failed, bool fit_read) {
  GalaxyOutcome o;
  o.processed = processed;
  if (failed) o.status.fail({});
  o.catalog.fit_read = fit_read;
  o.catalog.A_V = 0.25f;
  o.catalog.law = "CCM";
  o.catalog.measured = fit_read;
  o.catalog.log_mass = {9.5f, 9.25f, -999.0f, 8.0f, 9.0f, 9.125f};
  return o;
}

// Seven galaxies, one of each kind, the third skipped; returns the STATUS of each row.
std::vector<std::uint32_t> write_run(const std::string& path, bool continue_existing, int& skipped_heard) {
  Console console = Console::capture();
  Diagnostics diagnostics;
  CatalogSink sink(console, diagnostics, setup(path, 1, continue_existing));
  const Naming naming{"g/", ""};
  const struct {
    float distance;
    int kind;
  } galaxies[] = {{10.0f, 0}, {0.0f, 1}, {5.0f, 2}, {5.0f, 3}, {5.0f, 4}, {5.0f, 5}, {5.0f, 6}};
  for (int m = 0; m < 7; ++m) {
    const GalaxyJob job = naming.job(m, "gal" + std::to_string(m), galaxies[m].distance);
    switch (galaxies[m].kind) {
      case 0: EXPECT_EQ(sink.committed(job, outcome(true, false, true)), Flow::go_on); break;
      case 1: sink.committed(job, outcome(true, true, true)); break;  // failed, no distance
      case 2:
        if (sink.holds(job).value_or(false)) ++skipped_heard;
        sink.skipped(job);
        break;
      case 3: sink.committed(job, outcome(true, true, false)); break;    // result unread
      case 4: sink.committed(job, outcome(false, false, false)); break;  // name too long
      case 5: sink.committed(job, outcome(true, false, true)); break;
      case 6: sink.stopped_at(job); break;
    }
  }
  EXPECT_TRUE(sink.finish());
  Failure failure;
  std::optional<CatalogReader> r = CatalogReader::open(path, failure);
  EXPECT_TRUE(r) << failure.where_and_why();
  if (!r) return {};
  std::vector<std::uint32_t> statuses;
  const auto index = r->index();
  for (const auto& [row, status] : index.value()) statuses.push_back(status);
  const StoredRow first = r->row(1).value(), no_distance = r->row(2).value(), unread = r->row(4).value();
  EXPECT_TRUE(std::isnan(no_distance.log_mass[0]) && std::isnan(no_distance.log_mass[5])) << "masses need a distance";
  EXPECT_EQ(first.name, "gal0");
  EXPECT_EQ(first.result, "g/gal0");
  EXPECT_EQ(first.law, "CCM");
  EXPECT_EQ(first.av, 0.25f);
  EXPECT_TRUE(std::isnan(first.log_mass[2]));  // -999.0 in the tables
  EXPECT_EQ(first.log_mass[5], 9.125f);
  EXPECT_TRUE(std::isnan(unread.av) && std::isnan(unread.log_mass[0]));
  return statuses;
}

TEST(CatalogSink, EachKindOfGalaxyHasItsRowAndARestartCarriesTheProcessedOnes) {
  vtest::TempDir dir;
  const std::string path = dir / "c.fits";
  int heard = 0;
  const std::vector<std::uint32_t> want = {1, 1 | 2 | 16, 4, 1 | 2 | 32, 8, 1, 64};
  EXPECT_EQ(write_run(path, false, heard), want);

  // Continued: it holds the processed galaxies only, and carries their rows.
  {
    Console console = Console::capture();
    Diagnostics diagnostics;
    CatalogSink sink(console, diagnostics, setup(path, 1, true));
    const Naming naming{"g/", ""};
    std::vector<bool> held;
    for (int m = 0; m < 7; ++m) held.push_back(sink.holds(naming.job(m, "gal" + std::to_string(m), 1.0f)).value());
    EXPECT_EQ(held, (std::vector<bool>{true, true, false, true, false, true, false}));
    // Galaxies not from a grid file (no content to compare) are held under their own names.
    EXPECT_EQ(sink.holds(naming.job(0, "other", 1.0f)), std::optional<bool>(false));
  }
  EXPECT_EQ(write_run(path, true, heard), want);
  EXPECT_EQ(heard, 0);

  // Another shard's catalogue: refused before anything is written, the file untouched.
  const std::string before = vtest::read_file(path);
  Console console = Console::capture();
  Diagnostics diagnostics(std::tmpfile());
  EXPECT_THROW(CatalogSink(console, diagnostics, setup(path, 2, true)), RunStop);
  EXPECT_EQ(vtest::read_file(path), before);
  // Without --skip-existing a sink never reads it: nothing is held.
  CatalogSink fresh(console, diagnostics, setup(path, 2, false));
  EXPECT_FALSE(fresh.holds(Naming{"g/", ""}.job(0, "gal0", 1.0f)).has_value());
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

// A filter list of no filter: the run goes on, and its catalogue says a filter set was met
// and nothing measured (FILTSET T, NFILTERS 0, no magnitude column); with no filter set met at
// all (the result unread) it says FILTSET F.
TEST(CatalogSink, AFilterListOfNoFilterIsMetAndMeasuresNothing) {
  for (const bool list_empty : {true, false}) {
    vtest::TempDir dir;
    std::filesystem::copy(std::string(VELTRANE_TEST_DATA) + "/cases/_shared", dir.path(),
                          std::filesystem::copy_options::recursive);
    if (list_empty) vtest::write_file(dir / "filters/ListFilters.txt", "0\n");
    else std::filesystem::remove(dir / "gal01");
    const auto r = vtest::run_veltrane(dir.str(), {"--catalog", "c.fits", "grid.in"});
    ASSERT_EQ(r.status, 0) << r.out;
    catalog::Failure failure;
    auto cat = catalog::CatalogReader::open(dir / "c.fits", failure);
    ASSERT_TRUE(cat) << failure.where_and_why();
    EXPECT_EQ(cat->has_filters(), list_empty);
    EXPECT_EQ(cat->card("FILTSET"), list_empty ? "T" : "F");
    EXPECT_EQ(cat->card("NFILTERS"), "0");
    const auto row = cat->row(1);
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->magnitudes.empty());
    EXPECT_NE(row->status & catalog::kProcessed, 0u);
  }
}

}  // namespace
}  // namespace veltrane
