// veltrane-merge: shards joined equal the single run byte for byte and record their inputs;
// runs that differ are refused naming the first difference; missing galaxies refused unless
// allowed; and a table of misuse of the program, each with its message and status and every
// file around it unchanged.
#include "catalog/merge.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "catalog/fits_io.h"
#include "catalog/fits_scan.h"
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
  return f.failed() ? "(failed)" : bytes;
}

// Shards of one survey: each {K, N, options changed from `base`}.
struct Shard {
  int k, n;
  std::function<void(SampleOptions&)> change = {};
};

MergeReport merge_shards(TempDir& dir, const SampleOptions& base, const std::vector<Shard>& shards,
                         const MergeOptions& options = {}) {
  std::vector<std::string> inputs;
  for (const Shard& s : shards) {
    SampleOptions o = base;
    o.shard = s.k;
    o.shards = s.n;
    if (s.change) s.change(o);
    inputs.push_back(dir / ("shard" + std::to_string(inputs.size()) + ".fits"));
    EXPECT_EQ(write_sample(inputs.back(), o), "");
  }
  return merge_catalogs(dir / "merged.fits", inputs, options);
}

std::string joined(const MergeReport& m) {
  std::string out;
  for (const std::string& line : m.lines) out += line + "\n";
  return out;
}

TEST(Merge, ShardsEqualTheSingleRunAndRecordTheirInputs) {
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
    const MergeReport m = merge_shards(dir, base, c.shards);
    EXPECT_EQ(m.end, MergeEnd::merged) << c.what << "\n" << joined(m);
    EXPECT_EQ(joined(m), "40 galaxies from " + std::to_string(c.shards.size()) + " input" +
                             (c.shards.size() > 1 ? "s" : "") + " written to " + (dir / "merged.fits") + "\n")
        << c.what;
    for (const char* hdu : {"GALAXIES", "FILTERS", "WAVELENGTH", "SPECTRA"})
      EXPECT_TRUE(table_bytes(dir / "single.fits", hdu) == table_bytes(dir / "merged.fits", hdu)) << c.what << hdu;
    const FitsScan scan = scan_fits(dir / "merged.fits", ScanDepth::whole);
    EXPECT_FALSE(scan.failure) << scan.failure.where_and_why();
    for (const HduExtent& h : scan.hdus) EXPECT_TRUE(h.checksum_ok) << c.what << h.name;
    EXPECT_EQ(scan.primary.at("SHARDN"), "0") << "a merged catalogue is no shard";
    EXPECT_EQ(scan.primary.at("NMISSING"), "0");
    EXPECT_EQ(scan.primary.at("NINPUTS"), std::to_string(c.shards.size()));
  }
}

TEST(Merge, RunsThatDifferAndGalaxiesMissingOrTwice) {
  const auto age_cut_2 = [](SampleOptions& o) { o.t_cut = 2.0f; };
  const struct {
    const char* what;
    std::vector<Shard> shards;
    MergeEnd end;
    const char* says;
    const char* not_said = "@";
  } cases[] = {
      {"another Phyunits",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.phyunits = 1.0e-16f; }}},
       MergeEnd::refused,
       "run with another Phyunits: 1.0E-16 here, 1.0E-17 there\n"},
      {"another age cut, named before the filter set",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.t_cut = 2.0f, o.filters = 4; }}},
       MergeEnd::refused,
       "run with another age cut: 2.0 Gyr here, 1.0 Gyr there\n"},
      {"another version",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.version = "1.2.0"; }}},
       MergeEnd::refused,
       "written by another veltrane: 1.2.0 here, 1.1.0 there"},
      {"a grid of another size",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.galaxies = 41; }}},
       MergeEnd::refused,
       "run on a grid of another size: 41 galaxies here, 40 galaxies there"},
      {"another spectrum grid",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.points = 8; }}},
       MergeEnd::refused,
       "spectra on another wavelength grid: 8 points here, 7 there"},
      {"spectra in one shard only",
       {{1, 2}, {2, 2, [](SampleOptions& o) { o.points = 0; }}},
       MergeEnd::refused,
       "run without --catalog-spectra here, with it there"},
      {"each differing input said",
       {{1, 3}, {2, 3, age_cut_2}, {3, 3, age_cut_2}},
       MergeEnd::refused,
       "shard2.fits: not a shard"},
      {"the same shard twice",
       {{1, 2}, {2, 2}, {2, 2}},
       MergeEnd::refused,
       "... and 10 more\nrefused: 20 galaxies are held twice with values\n"},
      {"ten galaxies twice",
       {{1, 4}, {1, 4}},
       MergeEnd::refused,
       "refused: 10 galaxies are held twice with values\n",
       "more"},
      {"overlapping shards", {{1, 2}, {1, 3}}, MergeEnd::refused, "galaxy 1 is in "},
      {"the first and last missing",
       {{2, 3}},
       MergeEnd::missing,
       "27 galaxies of the grid's 40 are missing: rows 1-13, 27-40\n"},
      {"a shard missing, a row held without values",
       {{1, 4}, {4, 4, [](SampleOptions& o) { o.skipped = {36}; }}},
       MergeEnd::missing,
       "21 galaxies of the grid's 40 are missing: rows 11-30, 36\nno input holds rows 11-30\nrows 36 "
       "are held only as rows without values (skipped, or where a run stopped)\nnothing written to "},
      {"rows without values only",
       {{1, 1,
         [](SampleOptions& o) {
           o.skipped = {4, 5, 6, 9};
         }}},
       MergeEnd::missing,
       "4 galaxies of the grid's 40 are missing: rows 4-6, 9\n"
       "rows 4-6, 9 are held only as rows without values (skipped, or where a run stopped)\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    SampleOptions base;
    base.points = 7;
    const MergeReport m = merge_shards(dir, base, c.shards);
    EXPECT_EQ(m.end, c.end) << c.what << "\n" << joined(m);
    EXPECT_NE(joined(m).find(c.says), std::string::npos) << c.what << "\n" << joined(m);
    EXPECT_EQ(joined(m).find(c.not_said), std::string::npos) << c.what << "\n" << joined(m);
    EXPECT_FALSE(exists(dir / "merged.fits")) << c.what;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), std::ssize(c.shards))
        << c.what << ": a temporary file left";
  }
}

TEST(Merge, AnEmptyGridKeepsItsEmptyRange) {
  TempDir dir;
  SampleOptions empty;
  empty.galaxies = 0;
  const MergeReport m = merge_shards(dir, empty, {{1, 1}});
  EXPECT_EQ(m.end, MergeEnd::merged) << joined(m);
  const FitsScan scan = scan_fits(dir / "merged.fits", ScanDepth::primary);
  EXPECT_EQ(scan.primary.at("FIRSTROW"), "1");
  EXPECT_EQ(scan.primary.at("LASTROW"), "0");
}

// Every entry of a directory: a file's SHA-256, a link's target.
std::map<std::string, std::string> snapshot(const TempDir& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    out[name] = e.is_symlink() ? "-> " + fs::read_symlink(e.path()).string() : sha256_file(e.path().string());
  }
  return out;
}

// A misuse of veltrane-merge: its arguments, status, message and what it writes.
struct Misuse {
  const char* what;
  std::vector<std::string> args;
  int status;
  std::string says;
  const char* written = "";
  const char* missing = "";  // its header's MISSING
};

// The shards of a run, the catalogues of other runs, links, files that are not catalogues,
// and a merged catalogue, in `dir`; the size of a shard.
std::size_t misuse_inputs(const TempDir& dir) {
  SampleOptions o;
  o.points = 30;  // with spectra: a cut in SPECTRA, the last HDU, is said exactly
  for (int k = 1; k <= 3; ++k) {
    o.shard = k, o.shards = 3;
    EXPECT_EQ(write_sample(dir / ("shard-" + std::to_string(k) + ".fits"), o), "");
  }
  o.shard = 3;
  o.t_cut = 2.0f;
  EXPECT_EQ(write_sample(dir / "age2.fits", o), "");
  o.t_cut = 1.0f;
  o.filters = 4;
  EXPECT_EQ(write_sample(dir / "filters4.fits", o), "");
  fs::create_symlink("shard-1.fits", dir / "sym.fits");
  fs::create_hard_link(dir / "shard-2.fits", dir / "hard.fits");
  write_file(dir / "survey.in", "              40\ngalaxies/\n");
  write_file(dir / "notes.txt", "not FITS at all\n");
  write_file(dir / "empty.fits", "");
  const std::string shard = read_file(dir / "shard-1.fits");
  write_file(dir / "cut.fits", shard.substr(0, shard.size() - 2880));
  std::string flipped = shard;
  flipped[std::size_t(FitsFile::open_read(dir / "shard-1.fits").hdu_start(3)) - 100] ^= 4;  // GALAXIES data
  write_file(dir / "flipped.fits", flipped);
  std::string foreign = "SIMPLE  =                    T" + std::string(50, ' ') + "BITPIX  =                    8";
  foreign += std::string(50, ' ') + "NAXIS   =                    0" + std::string(50, ' ') + "END";
  write_file(dir / "foreign.fits", foreign + std::string(2880 - foreign.size(), ' '));
  EXPECT_EQ(merge_catalogs(dir / "merged.fits", {dir / "shard-1.fits"}, {}).end, MergeEnd::missing);
  EXPECT_EQ(merge_catalogs(dir / "merged.fits", {dir / "shard-1.fits"}, {false, true}).end, MergeEnd::merged);
  return shard.size();
}

std::vector<Misuse> misuses(std::size_t shard_size) {
  const std::vector<std::string> shards = {"shard-1.fits", "shard-2.fits", "shard-3.fits"};
  const auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::string cut_size = std::to_string(shard_size - 2880), size = std::to_string(shard_size);
  return {
      {"OUT forgotten", shards, 2,
       "shard-1.fits exists and is shard 1 of 3 of a run; it is left as it is (was the output forgotten?"},
      {"OUT an input by a symbolic link", with({"sym.fits"}, shards), 2,
       "sym.fits is the input shard-1.fits (the same file): name a new file"},
      {"OUT an input by a hard link", with({"hard.fits"}, shards), 2, "hard.fits is the input shard-2.fits"},
      {"OUT also an input", with({"shard-3.fits"}, shards), 2, "shard-3.fits is also an input"},
      {"OUT the grid file", with({"survey.in"}, shards), 2,
       "survey.in exists and is not a FITS file; it is left as it is\n"},
      {"OUT another program's FITS file", with({"foreign.fits"}, shards), 2,
       "foreign.fits exists and is a FITS file, but not a Veltrane catalogue; it is left as it is\n"},
      {"--overwrite onto another program's FITS file", with({"--overwrite", "foreign.fits"}, shards), 2,
       "(--overwrite replaces only a Veltrane catalogue)"},
      {"OUT a catalogue", with({"merged.fits"}, shards), 2,
       "merged.fits exists (a merged Veltrane catalogue); it is left as it is: --overwrite replaces it"},
      {"--overwrite onto a catalogue", with({"--overwrite", "merged.fits"}, shards), 0,
       "40 galaxies from 3 inputs written to merged.fits\n", "merged.fits"},
      {"a shard missing",
       {"out.fits", "shard-1.fits", "shard-3.fits"},
       3,
       "13 galaxies of the grid's 40 are missing: rows 14-26\nveltrane-merge: nothing written to out.fits: merge the "
       "catalogues that hold them too, or give --allow-missing\n"},
      {"a shard missing, allowed",
       {"--allow-missing", "out.fits", "shard-1.fits", "shard-3.fits"},
       0,
       "rows 14-26\nveltrane-merge: 27 galaxies from 2 inputs written to out.fits\n",
       "out.fits",
       "14-26"},
      {"an input cut short",
       {"out.fits", "cut.fits"},
       1,
       "cut.fits: cut short: " + cut_size + " of " + size + " bytes\n"},
      {"an input with a bit flipped",
       {"out.fits", "flipped.fits"},
       1,
       "flipped.fits: damaged (checksum of its GALAXIES table)\n"},
      {"an empty input", {"out.fits", "empty.fits"}, 1, "empty.fits: not a FITS file (empty)\n"},
      {"a text input", {"out.fits", "notes.txt"}, 1, "notes.txt: not a FITS file\n"},
      {"an absent input", {"out.fits", "absent.fits"}, 1, "absent.fits: No such file or directory\n"},
      {"another program's FITS input",
       {"out.fits", "foreign.fits"},
       2,
       "foreign.fits: a FITS file, but not a Veltrane catalogue\n"},
      {"two age cuts",
       {"out.fits", "shard-1.fits", "shard-2.fits", "age2.fits"},
       2,
       "age2.fits: not a shard of the run of shard-1.fits: run with another age cut: 2.0 Gyr here, 1.0 Gyr there\n"},
      {"two filter sets",
       {"out.fits", "shard-1.fits", "shard-2.fits", "filters4.fits"},
       2,
       "filters4.fits: not a shard of the run of shard-1.fits: run with another filter set: 4 filters here, 5 there"},
      {"an input twice",
       {"out.fits", "shard-1.fits", "./shard-1.fits"},
       2,
       "./shard-1.fits is shard-1.fits given twice"},
      {"OUT in no directory", with({"nodir/out.fits"}, shards), 1,
       "cannot write nodir/out.fits: No such file or directory\n"},
      {"no input", {"out.fits"}, 2, "an output and at least one input are needed"},
      {"an unknown option", with({"--bogus", "out.fits"}, shards), 2, "unknown option --bogus"},
      {"--help", {"--help"}, 0, ""},
      {"--", with({"--", "out.fits"}, shards), 0, "40 galaxies from 3 inputs", "out.fits"},
  };
}

// The misuse of veltrane-merge, each with its status and message; nothing but a merged output
// changes in the directory, and no temporary file is left.
TEST(Merge, MisuseTable) {
  TempDir dir, scratch;
  const std::vector<Misuse> cases = misuses(misuse_inputs(dir));
  for (const auto& c : cases) {
    const std::map<std::string, std::string> before = snapshot(dir);
    std::string cmd = "cd " + shell_quote(dir.str()) + " && " + shell_quote(VELTRANE_MERGE);
    for (const std::string& a : c.args) cmd += " " + shell_quote(a);
    const int status = std::system((cmd + " 2> " + shell_quote(scratch / "err") + " > /dev/null").c_str());
    const std::string err = read_file(scratch / "err");
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.what << "\n" << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.what << "\n" << err;
    std::map<std::string, std::string> after = snapshot(dir);
    if (*c.written) {
      EXPECT_TRUE(after.count(c.written)) << c.what;
      const FitsScan scan = scan_fits(dir / c.written, ScanDepth::whole);
      EXPECT_FALSE(scan.failure) << c.what;
      EXPECT_EQ(scan.primary.at("MISSING"), c.missing) << c.what;
      after[c.written] = before.count(c.written) ? before.at(c.written) : "";
      if (!before.count(c.written)) {
        after.erase(c.written);
        fs::remove(dir / c.written);
      }
    }
    EXPECT_EQ(after, before) << c.what << ": files changed, made or left";
  }
}

}  // namespace
}  // namespace vtest
