// Catalogues at the ends of their sizes: larger than one write block (rows are written about a
// mebibyte at a time, so every row after the first block must land after it, in both tables),
// and measured through a filter set of no filter (the set was met, nothing was measured). And
// the one card a reader does not keep: the UTC time of writing.
#include <gtest/gtest.h>

#include <bit>
#include <ctime>

#include "catalog/reader.h"
#include "catalog/sample.h"
#include "test_util.h"

namespace vtest {
namespace {

TEST(CatalogSizes, RowsAfterTheFirstBlockFollowIt) {
  TempDir dir;
  SampleOptions o;
  o.galaxies = 2500;  // GALAXIES about 0.8 KiB a row, SPECTRA 1.2 KiB: two blocks or more each
  o.filters = 5;
  o.points = 100;
  o.unread_upto = 1200;  // rows before the first filter set wait, and come out in blocks too
  ASSERT_EQ(write_sample(dir / "c.fits", o), "");
  Failure failure;
  auto opened = CatalogReader::open(dir / "c.fits", failure);
  ASSERT_TRUE(opened) << failure.where_and_why();
  CatalogReader& r = *opened;
  ASSERT_EQ(r.rows(), o.galaxies);
  const auto index = r.index();
  ASSERT_TRUE(index);
  for (int g = 1; g <= o.galaxies; ++g) ASSERT_EQ((*index)[std::size_t(g - 1)].first, g);
  const FilterSetInfo set = sample_filters(o.filters);
  SampleGalaxy want;
  for (int g : {1, 1199, 1201, 1202, 2000, 2499, 2500}) {
    sample_galaxy(g, o, set, want);
    const StoredRow got = r.row(g).value();
    SCOPED_TRACE(g);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.status, want.row.status);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got.distance), std::bit_cast<std::uint32_t>(want.row.distance));
    if (want.mags.empty()) {
      EXPECT_TRUE(std::isnan(got.magnitudes.at(0)) && std::isnan(got.old.at(0)));
    } else {
      EXPECT_EQ(got.magnitudes.at(7), want.mags.at(7));
      EXPECT_EQ(got.old, want.old);
    }
  }
}

TEST(CatalogSizes, AFilterSetOfNoFilterSaysNothingWasMeasured) {
  TempDir dir;
  SampleOptions o;
  o.filters = 0;
  o.galaxies = 5;
  ASSERT_EQ(write_sample(dir / "c.fits", o), "");
  Failure failure;
  auto opened = CatalogReader::open(dir / "c.fits", failure);
  ASSERT_TRUE(opened) << failure.where_and_why();
  CatalogReader& r = *opened;
  EXPECT_TRUE(r.has_filters()) << "a filter set was met";
  EXPECT_EQ(r.card("NFILTERS"), "0");
  EXPECT_EQ(r.filters().identity, sample_filters(0).identity);
  EXPECT_TRUE(r.filters().filters.empty());
  ASSERT_EQ(r.rows(), 5);
  const StoredRow row = r.row(2).value();
  EXPECT_EQ(row.status, kProcessed);
  EXPECT_TRUE(row.magnitudes.empty() && row.coverage.empty());
  EXPECT_FLOAT_EQ(row.log_mass[0], 9.002f);
}

// DATE = 'YYYY-MM-DDThh:mm:ss', the UTC time the file was written, among the primary cards.
TEST(CatalogSizes, ThePrimaryHeaderSaysWhenTheFileWasWritten) {
  TempDir dir;
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(write_sample(dir / "c.fits", SampleOptions{}), "");
  const std::string file = read_file(dir / "c.fits");
  std::string date;
  for (std::size_t at = 0; at + 80 <= file.size() && file.compare(at, 8, "END     ") != 0; at += 80)
    if (file.compare(at, 11, "DATE    = '") == 0) date = file.substr(at + 11, 19);
  std::tm utc{};
  ASSERT_TRUE(strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &utc)) << "DATE '" << date << "'";
  EXPECT_LE(std::abs(timegm(&utc) - before), 60) << date;
}

}  // namespace
}  // namespace vtest
