// The catalogue writer: what it writes read back value by value, the texts FITS allows, the
// identities, and the files it leaves (or does not) when it finishes, fails or is killed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <functional>

#include "catalog/digest.h"
#include "catalog/fits_io.h"
#include "catalog/reader.h"
#include "catalog/sample.h"
#include "test_util.h"

namespace vtest {
namespace {

std::vector<std::string> entries(const TempDir& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir.path())) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool same(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }
// What a value the writer was given reads back as.
float stored(float v) { return v == -999.0f ? NAN : v; }
bool same_stored(float given, float read) { return std::isnan(stored(given)) ? std::isnan(read) : same(given, read); }

TEST(Sha256, KnownDigests) {
  const struct {
    std::string text;
    const char* hex;
  } cases[] = {{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
               {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
               {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
               {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
  for (const auto& c : cases) {
    Sha256 whole, pieces;
    whole.add(c.text);
    for (std::size_t i = 0; i < c.text.size(); i += 63) pieces.add(std::string_view(c.text).substr(i, 63));
    EXPECT_EQ(whole.hex(), c.hex) << c.text.size();
    EXPECT_EQ(pieces.hex(), c.hex) << c.text.size();
  }
}

// The identities are those sha256sum gives, so that a header can be checked by hand.
TEST(Sha256, FilesAndListingsAsSha256sum) {
  TempDir dir;
  write_file(dir / "ListFilters.txt", "2\nV.dat\nB.dat\n");
  write_file(dir / "V.dat", "abc");
  write_file(dir / "B.dat", std::string(100000, 'b'));
  const std::vector<std::string> names = {"ListFilters.txt", "V.dat", "B.dat"};
  const auto sha256sum = [&](const std::string& args) {
    const std::string cmd = "cd " + shell_quote(dir.str()) + " && " + args + " > sum.txt";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return read_file(dir / "sum.txt").substr(0, 64);
  };
  EXPECT_EQ(sha256_file(dir / "B.dat"), sha256sum("sha256sum B.dat"));
  EXPECT_EQ(sha256_listing(dir.str() + "/", names), sha256sum("sha256sum ListFilters.txt V.dat B.dat | sha256sum"));
  EXPECT_EQ(sha256_listing(dir.str() + "/", std::vector<std::string>{"V.dat", "missing.dat"}), "");
  EXPECT_EQ(sha256_file(dir.str()), "") << "a directory has no content";
}

TEST(FitsText, EscapesAndCuts) {
  const struct {
    std::string raw;
    std::size_t width;
    const char* stored;
    bool cut;
  } cases[] = {{"gal01", 10, "gal01", false},
               {"NGC 1068'b", 10, "NGC 1068'b", false},
               {" ~}\x7f", 10, " ~}%7F", false},  // the ends of printable ASCII
               {"gal_\xc3\xbc", 20, "gal_%C3%BC", false},
               {"50%", 10, "50%25", false},
               {std::string("a\0b\tc", 5), 20, "a%00b%09c", false},
               {"abcdef", 4, "abcd", true},
               {"ab%", 4, "ab", true},          // "%25" would be split
               {"a\xc3\xbc", 3, "a", true},     // "%C3" would be split
               {"a\xc3\xbc", 4, "a%C3", true},  // whole escapes only
               {"", 1, "", false}};
  for (const auto& c : cases) {
    bool cut = false;
    const std::string s = stored_text(c.raw, c.width, cut);
    EXPECT_EQ(s, c.stored) << c.raw;
    EXPECT_EQ(cut, c.cut) << c.raw;
    if (!c.cut) {
      EXPECT_EQ(from_fits_text(s), c.raw);
      EXPECT_EQ(fits_text_length(c.raw), s.size());
    }
  }
  EXPECT_EQ(from_fits_text(std::string_view("x%41", 3)), "x%4") << "an escape cut by the text's end stays as it is";
}

// Rows of every kind read back: before any filter set, measured, without spectra, through
// another filter set, on another grid, with a name too long for its column.
TEST(CatalogWriter, RowsReadBack) {
  TempDir dir;
  SampleOptions o, o4;
  o.points = o4.points = 6;
  o.filters = 3;
  o4.filters = 4;
  const FilterSetInfo set = sample_filters(3), other = sample_filters(4);
  Layout layout = sample_layout(o);
  layout.name_width = 8;
  Provenance p = sample_provenance(o);
  p.path_dir = "/data/" + std::string(150, 'd') + "/M\xc3\xbcller's galaxies/";  // CONTINUE cards
  CatalogWriter w(dir / "c.fits", p, layout);
  o.skipped = {1};
  struct Case {
    int g;
    const FilterSetInfo* filters;
    int lambda_shift;
    bool no_spectra;
    std::uint32_t added;
  };
  const Case cases[] = {{1, &set, 0, true, 0},   // skipped: no values, before any set
                        {2, &set, 0, false, 0},  // first measured: fixes set and grid
                        {4, &set, 0, true, 0},   // measured, no spectra
                        {5, &other, 0, false, kOtherFilters},
                        {7, &set, 1, false, kOtherGrid},  // failed, on a shifted grid
                        {3, &set, 0, false, kTextCut}};   // "gal00003_ü" in 8 bytes
  std::vector<SampleGalaxy> given(std::size(cases));
  int g_order[] = {1, 2, 4, 5, 7, 8};  // grid rows must increase; galaxy 3's name goes in row 8
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    sample_galaxy(cases[i].g, cases[i].filters == &set ? o : o4, *cases[i].filters, given[i]);
    given[i].row.grid_row = g_order[i];
    given[i].row.filters = given[i].mags.empty() ? nullptr : cases[i].filters;
    for (float& l : given[i].lambda) l += float(cases[i].lambda_shift);
    if (cases[i].no_spectra) given[i].row.lambda = given[i].row.total = given[i].row.young = given[i].row.old = {};
    ASSERT_TRUE(w.append(given[i].row)) << w.failure().reason;
  }
  EXPECT_EQ(entries(dir).size(), 2u) << "the file and the spectra, both temporary";
  ASSERT_TRUE(w.finish()) << w.failure().reason;
  EXPECT_EQ(entries(dir), std::vector<std::string>{"c.fits"});

  std::optional<CatalogReader> opened = read_back(dir / "c.fits");
  ASSERT_TRUE(opened);
  CatalogReader& r = *opened;
  EXPECT_EQ(r.provenance().phyunits, o.phyunits);
  EXPECT_EQ(r.provenance().path_dir, p.path_dir);
  ASSERT_TRUE(r.has_filters());
  ASSERT_EQ(r.filters().filters.size(), 3u);
  EXPECT_TRUE(std::isnan(r.filters().filters[1].zero_point[3])) << "-999.0 zero point";
  for (std::size_t f = 0; f < 3; ++f) {
    const FilterEntry &in = set.filters[f], &out = r.filters().filters[f];
    EXPECT_EQ(out.name, in.name);
    EXPECT_TRUE(same(out.lambda_eff, in.lambda_eff) && same(out.area, in.area)) << f;
    for (int k = 0; k < kSystems; ++k) EXPECT_TRUE(same_stored(in.zero_point[k], out.zero_point[k])) << f << k;
  }
  EXPECT_EQ(r.filters().identity, set.identity);
  EXPECT_EQ(r.filters().standards, set.standards);
  EXPECT_EQ(r.grid(), given[1].lambda);
  ASSERT_EQ(r.rows(), std::ssize(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const GalaxyRow& in = given[i].row;
    const StoredRow out = r.row(long(i) + 1).value();
    const bool measured = !given[i].mags.empty() && cases[i].filters == &set;
    const bool spectra = !cases[i].no_spectra && !given[i].lambda.empty() && cases[i].lambda_shift == 0;
    SCOPED_TRACE(i);
    EXPECT_EQ(out.grid_row, in.grid_row);
    EXPECT_EQ(out.status, in.status | cases[i].added);
    EXPECT_EQ(out.name, cases[i].added == kTextCut ? "gal00003" : given[i].name);
    EXPECT_EQ(out.law, given[i].law);
    EXPECT_TRUE(same(out.distance, in.distance) && same(out.av, in.av));
    for (int k = 0; k < kMasses; ++k) EXPECT_TRUE(same_stored(in.log_mass[k], out.log_mass[k])) << k;
    ASSERT_EQ(out.magnitudes.size(), 3u * kSlots * kSystems);
    for (std::size_t k = 0; k < out.magnitudes.size(); ++k)
      EXPECT_TRUE(measured ? same_stored(given[i].mags[k], out.magnitudes[k]) : std::isnan(out.magnitudes[k])) << k;
    for (std::size_t k = 0; k < 3; ++k)
      EXPECT_TRUE(measured ? same(out.coverage_positive[k], given[i].cover_pos[k]) : std::isnan(out.coverage[k]));
    ASSERT_EQ(out.total.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k)
      EXPECT_TRUE(spectra ? same(out.young[k], given[i].young[k]) : std::isnan(out.young[k])) << k;
  }
}

// The spectra are appended in the kernel where it can, else through the process: the same
// bytes either way.
TEST(CatalogWriter, AppendedSpectraBothWays) {
  TempDir dir;
  std::string from(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < from.size(); ++i) from[i] = char(i * 2654435761u >> 13);
  write_file(dir / "from", from);
  for (const long long offset : {0LL, 2880LL, (long long)from.size()})
    for (const bool in_kernel : {true, false}) {
      write_file(dir / "to", "head");
      EXPECT_FALSE(append_file(dir / "from", offset, dir / "to", in_kernel));
      EXPECT_TRUE(read_file(dir / "to") == "head" + from.substr(std::size_t(offset))) << offset << in_kernel;
    }
  EXPECT_EQ(append_file(dir / "absent", 0, dir / "to").where_and_why(), dir / "to" + ": No such file or directory");
}

// Where the temporary file goes, and what is left at the final name. A name is a name:
// Rows a caller got wrong fail the writer, which says why; a grid
// whose names are all empty still has NAME and RESULT columns one byte wide.
TEST(CatalogWriter, RowsThatDoNotFitAndEmptyTexts) {
  const FilterSetInfo set = sample_filters(5);
  SampleGalaxy s;
  sample_galaxy(2, {}, set, s);
  const std::vector<float> mags(kSlots * kSystems, 1.0f), one(1, 0.5f);
  const struct {
    const char* what;
    std::function<void(GalaxyRow&)> change;
  } cases[] = {
      {"the same galaxy again", [](GalaxyRow& r) { r.grid_row = 2; }},
      {"galaxy 0", [](GalaxyRow& r) { r.grid_row = 0; }},
      {"magnitudes of one filter without a filter set",
       [&](GalaxyRow& r) { r.filters = nullptr, r.magnitudes = mags, r.coverage = r.coverage_positive = one; }},
      {"a spectrum off its grid", [&](GalaxyRow& r) { r.lambda = one, r.total = r.young = r.old = {}; }},
      {"nothing wrong", [](GalaxyRow&) {}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    Layout empty_texts = sample_layout({});
    empty_texts.name_width = empty_texts.result_width = 0;
    CatalogWriter w(dir / "c.fits", sample_provenance({}), empty_texts);
    ASSERT_TRUE(w.append(s.row));
    GalaxyRow r = s.row;
    r.grid_row = 3;
    c.change(r);
    if (std::string(c.what) != "nothing wrong") {
      EXPECT_FALSE(w.append(r)) << c.what;
      EXPECT_TRUE(w.failed() && w.failure().reason.find("galaxy ") != std::string::npos)
          << c.what << ": " << w.failure().reason;
      continue;
    }
    ASSERT_TRUE(w.append(r) && w.finish()) << w.failure().reason;
    const std::optional<CatalogReader> back = read_back(dir / "c.fits");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rows(), 2);
    EXPECT_EQ(back->layout().name_width, 1);
    EXPECT_EQ(back->layout().result_width, 1);
  }
}

// "[1]", "!" or "mem://" mean nothing to the writer or the reader.
TEST(CatalogWriter, TemporaryFiles) {
  const std::string long_name = std::string(240, 'n') + ".fits";
  const struct {
    std::string name;
    bool finish;
  } cases[] = {{"c.fits", false},           {"x", false}, {"ab", false}, {long_name, true},
               {"gal[1] !x(2).fits", true}, {"-", true}};
  for (const auto& c : cases) {
    TempDir dir;
    {
      CatalogWriter w(dir / c.name, sample_provenance({}), sample_layout({}));
      ASSERT_FALSE(w.failed()) << c.name << ": " << w.failure().reason;
      const auto made = entries(dir);
      ASSERT_EQ(made.size(), 1u);
      EXPECT_LE(made[0].size(), c.name.size());
      EXPECT_NE(made[0], c.name);
      if (c.name.size() > 1) { EXPECT_EQ(made[0][0], '.'); }
      const FilterSetInfo set = sample_filters(5);
      SampleGalaxy s;
      sample_galaxy(2, {}, set, s);
      EXPECT_TRUE(w.append(s.row));
      if (c.finish) {
        ASSERT_TRUE(w.finish()) << w.failure().reason;
        EXPECT_EQ(entries(dir), std::vector<std::string>{c.name});
        EXPECT_EQ(read_back(dir / c.name).value().rows(), 1);
      }
    }  // abandoned unless finished
    EXPECT_EQ(entries(dir).size(), c.finish ? 1u : 0u) << c.name;
  }
}

TEST(CatalogWriter, FailuresLeaveNothingAndKeepAnEarlierFile) {
  const struct {
    const char* what;
    std::function<bool(TempDir&)> run;
    std::vector<std::string> left;
  } cases[] = {
      {"no such directory",
       [](TempDir& d) {
         const CatalogWriter w(d / "no/c.fits", sample_provenance({}), sample_layout({}));
         return w.failure().where_and_why() == d / "no/c.fits" + ": No such file or directory" &&
                w.failure().kind == Failure::Kind::io;
       },
       {}},
      {"the name is a directory",
       [](TempDir& d) {
         fs::create_directory(d / "c.fits");
         return !write_sample(d / "c.fits", {}).empty();
       },
       {"c.fits"}},
      {"a file made at the name meanwhile, not to be replaced",
       [](TempDir& d) {
         CatalogWriter w(d / "c.fits", sample_provenance({}), sample_layout({}));
         write_file(d / "c.fits", "earlier");
         return !w.finish(false) && w.failure().where_and_why() == d / "c.fits" + ": File exists";
       },
       {"c.fits"}},
      {"rows out of grid order",
       [](TempDir& d) {
         write_file(d / "c.fits", "earlier");
         CatalogWriter w(d / "c.fits", sample_provenance({}), sample_layout({}));
         const FilterSetInfo set = sample_filters(5);
         SampleGalaxy s;
         sample_galaxy(5, {}, set, s);
         w.append(s.row);
         sample_galaxy(4, {}, set, s);
         return !w.append(s.row) && w.failed() && !w.finish() && !w.failure().reason.empty();
       },
       {"c.fits"}},
      {"magnitudes for another number of filters",
       [](TempDir& d) {
         write_file(d / "c.fits", "earlier");
         CatalogWriter w(d / "c.fits", sample_provenance({}), sample_layout({}));
         const FilterSetInfo set = sample_filters(4);
         SampleGalaxy s;
         sample_galaxy(5, {}, set, s);  // 5 filters of values
         return !w.append(s.row) && w.failed();
       },
       {"c.fits"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    EXPECT_TRUE(c.run(dir)) << c.what;
    EXPECT_EQ(entries(dir), c.left) << c.what;
    if (!c.left.empty() && fs::is_regular_file(dir / "c.fits")) {
      EXPECT_EQ(read_file(dir / "c.fits"), "earlier") << c.what;
    }
  }
}

// In a child process: a file-size limit (the full disk of a test), or death in mid-write.
TEST(CatalogWriter, SizeLimitAndKill) {
  const struct {
    const char* what;
    bool kill;
    int galaxies, points;
  } cases[] = {{"file-size limit, spectra", false, 40, 2000},
               {"file-size limit, galaxies", false, 1000, 0},
               {"killed", true, 40, 2000}};
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir / "c.fits", "earlier");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{1 << 18, 1 << 18};
      if (!c.kill) ::setrlimit(RLIMIT_FSIZE, &limit);
      SampleOptions o;
      o.galaxies = c.galaxies;
      o.points = c.points;
      const std::string error = write_sample(dir / "c.fits", o, [&](CatalogWriter&) {
        if (c.kill) ::raise(SIGKILL);
        return true;
      });
      ::_exit(error.empty() ? 0 : error == "File too large" ? 3 : 4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (c.kill) {
      EXPECT_TRUE(WIFSIGNALED(status)) << c.what;
      EXPECT_GE(entries(dir).size(), 2u) << "its temporary files stay, hidden";
    } else {
      EXPECT_EQ(WEXITSTATUS(status), 3) << c.what << ": the system's reason, File too large";
      EXPECT_EQ(entries(dir), std::vector<std::string>{"c.fits"}) << c.what;
    }
    EXPECT_EQ(read_file(dir / "c.fits"), "earlier") << c.what;
  }
}

}  // namespace
}  // namespace vtest
