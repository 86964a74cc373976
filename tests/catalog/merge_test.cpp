// veltrane-merge: shards joined equal the single run byte for byte; mismatched, overlapping,
// damaged or foreign inputs refused with their statuses; missing galaxies stated.
#include "catalog/merge.h"

#include <gtest/gtest.h>

#include "catalog/fits_io.h"
#include "catalog/sample.h"
#include "test_util.h"

namespace vtest {
namespace {

// The data of an HDU as bytes (every row).
std::string table_bytes(const std::string& path, const char* hdu) {
  FitsFile f = FitsFile::open_read(path);
  if (!f.has(hdu)) return "(none)";
  f.move_to(hdu);
  const long long rows = f.rows();
  const std::size_t width = std::size_t(f.integer("NAXIS1"));
  std::string bytes(std::size_t(rows) * width, '\0');
  f.read_rows(1, rows, reinterpret_cast<unsigned char*>(bytes.data()), width);
  return bytes;
}

// Shards of one survey: each {K, N, options changed from `base`}.
struct Shard {
  int k, n;
  std::function<void(SampleOptions&)> change = {};
};

struct Merged {
  int status;
  std::string messages;
};

Merged merge_shards(TempDir& dir, const SampleOptions& base, const std::vector<Shard>& shards) {
  std::vector<std::string> inputs;
  for (const Shard& s : shards) {
    SampleOptions o = base;
    o.shard = s.k;
    o.shards = s.n;
    if (s.change) s.change(o);
    inputs.push_back(dir / ("shard" + std::to_string(inputs.size()) + ".fits"));
    EXPECT_EQ(write_sample(inputs.back(), o), "");
  }
  Merged m;
  m.status = merge_catalogs(dir / "merged.fits", inputs, m.messages);
  return m;
}

TEST(Merge, ShardsEqualTheSingleRun) {
  const struct {
    const char* what;
    int points, unread_upto;
    std::vector<Shard> shards;
  } cases[] = {
      {"one shard", 0, 1, {{1, 1}}},
      {"two shards", 0, 1, {{1, 2}, {2, 2}}},
      {"three shards given in reverse, with spectra", 7, 1, {{3, 3}, {2, 3}, {1, 3}}},
      {"a first shard that met no filter set nor grid", 7, 10, {{1, 4}, {2, 4}, {3, 4}, {4, 4}}},
      {"a killed shard restarted: skipped rows give way",
       7,
       1,
       {{1, 2, [](SampleOptions& o) { o.galaxies = 40, o.shard = 1, o.shards = 4; }},  // rows 1-10 only
        {1, 2, [](SampleOptions& o) { o.skipped = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; }},
        {2, 2}}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    SampleOptions base;
    base.points = c.points;
    base.unread_upto = c.unread_upto;
    ASSERT_EQ(write_sample(dir / "single.fits", base), "");
    const Merged m = merge_shards(dir, base, c.shards);
    EXPECT_EQ(m.status, 0) << c.what << "\n" << m.messages;
    EXPECT_EQ(m.messages, "veltrane-merge: 40 galaxies from " + std::to_string(c.shards.size()) + " input" +
                              (c.shards.size() > 1 ? "s" : "") + " written to " + (dir / "merged.fits") + "\n")
        << c.what;
    for (const char* hdu : {"GALAXIES", "FILTERS", "WAVELENGTH", "SPECTRA"})
      EXPECT_TRUE(table_bytes(dir / "single.fits", hdu) == table_bytes(dir / "merged.fits", hdu)) << c.what << hdu;
    FitsFile f = FitsFile::open_read(dir / "merged.fits");
    EXPECT_EQ(f.bad_checksum(), 0);
    f.move_to(1);
    EXPECT_EQ(f.integer("SHARDN"), 0) << "a merged catalogue is no shard";
  }
}

TEST(Merge, Refusals) {
  const struct {
    const char* what;
    std::vector<Shard> shards;
    int status;
    const char* says;
    const char* not_said = "@";
  } cases[] = {
      {"another Phyunits",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.phyunits = 1.0e-16f; }}},
       2,
       "PHYUNITS is '1.0E-16', not '1.0E-17'"},
      {"another version", {{1, 2}, {2, 2, [](SampleOptions& o) { o.version = "1.2.0"; }}}, 2, "CREATOR is"},
      {"another grid", {{1, 2}, {2, 2, [](SampleOptions& o) { o.galaxies = 41; }}}, 2, "NGALAXY is '41'"},
      {"another filter set", {{1, 2}, {2, 2, [](SampleOptions& o) { o.filters = 4; }}}, 2, "its filter set differs"},
      {"another spectrum grid", {{1, 2}, {2, 2, [](SampleOptions& o) { o.points = 8; }}}, 2, "spectrum grid differs"},
      {"spectra in one shard only", {{1, 2}, {2, 2, [](SampleOptions& o) { o.points = 0; }}}, 2, "SPECTRA is 'F'"},
      {"the same shard twice", {{1, 2}, {2, 2}, {2, 2}}, 2, "... and 10 more\nveltrane-merge: refused: 20 galaxies"},
      {"ten galaxies twice", {{1, 4}, {1, 4}}, 2, "refused: 10 galaxies are held twice with values\n", "more"},
      {"overlapping shards", {{1, 2}, {1, 3}}, 2, "galaxy 1 is in "},
      {"a missing shard", {{1, 3}, {3, 3}}, 0, "no input holds 13 galaxies of the grid's 40: 14-26\n"},
      {"the first and last missing", {{2, 3}}, 0, "no input holds 27 galaxies of the grid's 40: 1-13, 27-40\n"},
      {"rows without values only",
       {{1, 1,
         [](SampleOptions& o) {
           o.skipped = {4, 5, 6, 9};
         }}},
       0,
       "4 galaxies are held only as rows without values (skipped, or where a run stopped): 4-6, 9\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    SampleOptions base;
    base.points = 7;
    const Merged m = merge_shards(dir, base, c.shards);
    EXPECT_EQ(m.status, c.status) << c.what << "\n" << m.messages;
    EXPECT_NE(m.messages.find(c.says), std::string::npos) << c.what << "\n" << m.messages;
    EXPECT_EQ(m.messages.find(c.not_said), std::string::npos) << c.what << "\n" << m.messages;
    EXPECT_EQ(exists(dir / "merged.fits"), c.status == 0) << c.what;
  }
}

TEST(Merge, AnEmptyGridKeepsItsEmptyRange) {
  TempDir dir;
  SampleOptions empty;
  empty.galaxies = 0;
  const Merged m = merge_shards(dir, empty, {{1, 1}});
  EXPECT_EQ(m.status, 0) << m.messages;
  FitsFile f = FitsFile::open_read(dir / "merged.fits");
  f.move_to(1);
  EXPECT_EQ(f.integer("FIRSTROW"), 1);
  EXPECT_EQ(f.integer("LASTROW"), 0);
}

// Inputs that are not whole catalogues, and the command line.
TEST(Merge, BadInputsAndCommandLine) {
  TempDir dir;
  ASSERT_EQ(write_sample(dir / "good.fits", {}), "");
  std::string bytes = read_file(dir / "good.fits");
  bytes[std::size_t(FitsFile::open_read(dir / "good.fits").hdu_start(3)) - 3000] ^= 1;  // GALAXIES data
  write_file(dir / "damaged.fits", bytes);
  write_file(dir / "cut.fits", read_file(dir / "good.fits").substr(0, 2880 * 3));
  const auto filters_start = std::size_t(FitsFile::open_read(dir / "good.fits").hdu_start(3));
  write_file(dir / "nofilters.fits", read_file(dir / "good.fits").substr(0, filters_start));
  write_file(dir / "text.fits", "not FITS at all\n");
  {
    FitsFile f = FitsFile::create(create_temporary_beside(dir / "plain.fits"));
    f.write_checksums();
    f.close();
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename().string()[0] == '.') fs::rename(e.path(), dir / "plain.fits");
  }
  const std::string merge = VELTRANE_MERGE, out = dir / "out.fits", good = dir / "good.fits";
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{out, dir / "damaged.fits"}, 1, "checksum of HDU 2 is missing or wrong"},
      {{out, dir / "cut.fits"}, 1, "cut.fits: "},
      {{out, dir / "nofilters.fits"}, 1, "no GALAXIES or FILTERS table"},
      {{out, dir / "text.fits"}, 1, "text.fits: "},
      {{out, dir / "absent.fits"}, 1, "absent.fits: "},
      {{out, dir / "plain.fits"}, 2, "not a veltrane catalogue"},
      {{out, good, dir / "damaged.fits"}, 1, "damaged.fits"},
      {{}, 2, "an output and at least one input are needed"},
      {{out}, 2, "an output and at least one input are needed"},
      {{"--bogus", out, good}, 2, "unknown option --bogus"},
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
      {{"--", out, good}, 0, "1 input written to"},
  };
  for (const auto& c : cases) {
    fs::remove(out);
    std::string cmd = shell_quote(merge);
    for (const std::string& a : c.args) cmd += " " + shell_quote(a);
    const int status = std::system((cmd + " 2> " + shell_quote(dir / "err.txt") + " > /dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status) << cmd;
    EXPECT_NE(read_file(dir / "err.txt").find(c.says), std::string::npos) << cmd << "\n" << read_file(dir / "err.txt");
    EXPECT_EQ(exists(out), c.status == 0 && !c.args.empty() && c.args[0] != "--help" && c.args[0] != "--version");
  }
}

}  // namespace
}  // namespace vtest
