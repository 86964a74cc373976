// The readers say where and why they stop: for each kind of damage, the problem's file,
// record, item and reason, the status it leaves and the console lines printed for it.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "readers/run_parameters.h"
#include "readers/ssp_base.h"
#include "readers/synthesis_result.h"
#include "test_util.h"

namespace veltrane {
namespace {

using textio::RecordFile;

// Where a problem was met and the words its reason must hold.
struct Where {
  long record;
  int item;
  const char* words;
};

void expect_where(const Problem& p, const std::string& file, const Where& w) {
  EXPECT_EQ(p.file, file);
  EXPECT_EQ(p.record, w.record) << p.reason;
  EXPECT_EQ(p.item, w.item) << p.reason;
  EXPECT_NE(p.reason.find(w.words), std::string::npos) << p.reason;
}

const std::string kParams =
    "              2\ngal/\nbase/\nfilters/\n1.0\n        1.0E-17\n              0\n              2\n              0\n";

TEST(RunParameters, EachRecordThatCannotBeReadIsNamed) {
  const struct {
    std::string text;
    bool grid;
    Where where;
  } cases[] = {
      {"", true, {1, 0, "ends before the number of galaxies"}},
      {"  x\n", true, {1, 0, "expected the number of galaxies (an integer in columns 1-15), found '  x'"}},
      {"2\ngal/\nbase/\nfilters/\nabc\n", true, {5, 1, "expected the age cut in Gyr, found 'abc'"}},
      {"2\ngal/\nbase/\nfilters/\n1.0\n", true, {6, 0, "ends before Phyunits"}},
      {"2\ngal/\nbase/\nfilters/\n1.0\n1.0E-17\n0.5\n", true, {7, 0, "Ext_Corr (an integer in columns 1-15)"}},
      {"2\ngal/\nbase/\nfilters/\n1.0\nx\n", false, {6, 1, "expected Phyunits, found 'x'"}},
  };
  for (const auto& c : cases) {
    RecordFile in = RecordFile::from_string(c.text);
    RunParams p;
    const auto problem = read_run_parameters(in, "grid.in", c.grid, p);
    ASSERT_TRUE(problem) << c.text;
    expect_where(*problem, "grid.in", c.where);
  }
  RecordFile in = RecordFile::from_string(kParams + "gal01 45.0\n'gal 02' , 120\ngal03/\n\n");
  RunParams p;
  ASSERT_FALSE(read_run_parameters(in, "grid.in", true, p));
  EXPECT_EQ(p.N_models, 2);
  EXPECT_EQ(p.fil_dir, "filters/");
  EXPECT_EQ(p.Phyunits, 1.0E-17f);
  std::string name = "old";
  float distance = -1.0f;
  for (const auto& [want, d] : {std::pair{"gal01", 45.0f}, {"gal 02", 120.0f}, {"gal03", 0.0f}}) {
    ASSERT_FALSE(read_galaxy_record(in, "grid.in", name, distance));
    EXPECT_EQ(name, want);
    EXPECT_EQ(distance, d);  // a slash leaves no distance of an earlier galaxy
  }
  const auto end = read_galaxy_record(in, "grid.in", name, distance);
  ASSERT_TRUE(end);
  expect_where(*end, "grid.in", {14, 0, "the file ends before a galaxy record"});
}

// A synthesis result of `rows` population rows and `points` observed points, in the
// positions the reader takes them from.
std::string synthesis_result(int rows, int points) {
  std::string t;
  const auto integers = [](int r) { return r == 11 || r == 12 || (r >= 39 && r <= 45); };
  for (int r = 1; r <= 63; ++r) {
    if (r >= 6 && r <= 9) t += "name" + std::to_string(r) + "\n";
    else if (r == 10) t += std::to_string(rows) + "\n";
    else if (r == 14) t += "CCM\n";
    else if (r == 41) t += "1 text\n";
    else if (r == 45) t += "1 2 3\n";
    else if (r == 46) t += "1 2 3 4\n";
    else t += integers(r) ? "1\n" : "1.5\n";
  }
  for (int j = 0; j < rows; ++j) t += "x 10 20 30 1e9 0.02 0 0 0 ssp.dat 0\n";
  for (int r = 0; r < 2 * rows + 17; ++r) t += "skipped\n";
  t += std::to_string(points) + "\n";
  for (int i = 0; i < points; ++i) t += std::to_string(4000 + i) + " 1.0 0 1\n";
  return t;
}

TEST(SynthesisResult, AFailureNamesItsRecordAndKeepsWhatWasRead) {
  const std::string good = synthesis_result(2, 3);
  const auto with_line = [&](int record, const std::string& text) {
    std::string t = good;
    std::size_t at = 0;
    for (int r = 1; r < record; ++r) at = t.find('\n', at) + 1;
    return t.replace(at, t.find('\n', at) - at, text);
  };
  const struct {
    std::string text;
    Where where;
  } cases[] = {
      {with_line(10, "two"), {10, 1, "expected a header record of the synthesis result (records 1-63), found 'two'"}},
      {with_line(65, "x 10 20 abc"), {65, 4, "expected population row 2 of 2"}},
      {with_line(10, "301"), {10, 0, "the population table has 301 rows; it holds at most 300"}},
      {with_line(87, "10001"), {87, 0, "the observed spectrum has 10001 points; it holds at most 10,000"}},
      {with_line(89, "4001 1.0 zero 1"), {89, 3, "expected observed point 2 of 3 (four numbers"}},
      {good.substr(0, good.size() - 10), {91, 0, "the file ends before observed point 3 of 3"}},
  };
  for (const auto& c : cases) {
    RecordFile file = RecordFile::from_string(c.text);
    CapturedReport r;
    auto fit = std::make_unique<FitResult>();
    Read_Out_KW(r.context, file, "gal01", 1.0f, *fit);
    ASSERT_TRUE(r.status.failed());
    expect_where(r.status.cause(), "gal01", c.where);
    EXPECT_EQ(r.console.captured(),
              "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n    [Read_Out_KW] arqKWsynt contains ERROR\n");
    EXPECT_EQ(r.log.reports().size(), 1u);
  }
  RecordFile file = RecordFile::from_string(good);
  CapturedReport r;
  auto fit = std::make_unique<FitResult>();
  Read_Out_KW(r.context, file, "gal01", 2.0f, *fit);
  EXPECT_TRUE(r.status.good());
  EXPECT_EQ(fit->Num_base, 2);
  EXPECT_EQ(fit->N_obs, 3);
  EXPECT_EQ(fit->R_LawOPT, "CCM");
  EXPECT_EQ(fit->m3_sum, 60.0f);
  EXPECT_EQ(fit->o_fluxes[2], 3.0f);  // 1.0 × flx_norm 1.5 × Phyunits 2.0
}

TEST(SspFiles, ParsedFilesKeepWhereTheyStopped) {
  const SspFile bad = parse_ssp_file("# a\n# b\n3000 1\n3100 2\n3200 nonsense\n3300 4\n");
  EXPECT_EQ(bad.header, 2);
  EXPECT_EQ(bad.end, SspFile::End::read_error);
  EXPECT_EQ(bad.error.record, 5);
  EXPECT_EQ(bad.error.item, 2);
  EXPECT_EQ(bad.error.found, "3200 nonsense");
  EXPECT_TRUE(bad.partial);  // the wavelength read before the bad flux stays in the grid
  EXPECT_EQ(bad.lambda.size(), 2u);

  const SspFile down = parse_ssp_file("#\n3000 1\n3100 2\n3050 3\n3200 4\n");
  EXPECT_TRUE(down.decreases);
  EXPECT_EQ(down.first_decrease, 3);
  EXPECT_FALSE(down.sorted);

  const BaseFile base = parse_base_file("3\na.dat 1e6 0.02 c 0.5 0 0\nb.dat 1e9 0.02 c 0.5 zero 0\n");
  EXPECT_TRUE(base.count_stored);
  ASSERT_EQ(base.records.size(), 2u);
  EXPECT_EQ(base.records[1].status, BaseFile::Status::error);
  EXPECT_EQ(base.records[1].stop.record, 3);
  EXPECT_EQ(base.records[1].stop.item, 6);
  const BaseFile no_count = parse_base_file("three\n");
  EXPECT_EQ(no_count.count_status, BaseFile::Status::error);
  EXPECT_EQ(no_count.count_stop.found, "three");
  EXPECT_FALSE(parse_base_file("/\n").count_stored);  // a slash keeps the result's count
}

// The base reader's files, parsed as they are read; a missing one cannot be opened.
class DiskSource : public BaseSource {
 public:
  std::shared_ptr<const BaseFile> base_file(const std::string& path) override {
    if (!vtest::exists(path)) return nullptr;
    return std::make_shared<const BaseFile>(parse_base_file(vtest::read_file(path)));
  }
  std::shared_ptr<const SspFile> ssp_file(const std::string& path) override {
    if (!vtest::exists(path)) return nullptr;
    return std::make_shared<const SspFile>(parse_ssp_file(vtest::read_file(path)));
  }
  std::shared_ptr<const BaseTables> tables(std::span<const std::shared_ptr<const SspFile>> ssps) override {
    return assemble_base(ssps);
  }
};

// A base reader's case: its files, the fit range, the problem and its effect.
struct BaseCase {
  const char* what;
  std::map<std::string, std::string> files;
  float ini, fin;
  std::string file;
  Where where;
  bool fails;
  Flow flow;
};

TEST(BaseReader, EachProblemNamesItsFileAndWhetherTheRunGoesOn) {
  const std::string ssp = "3000 1\n3500 1\n4000 1\n";
  const BaseCase cases[] = {
      {"a good base",
       {{"base/Base", "1\na.dat 1e9 0.02 c 0.5 0 0\n"}, {"base/a.dat", ssp}},
       3200,
       3800,
       "",
       {},
       false,
       Flow::go_on},
      {"no base file", {}, 3200, 3800, "base/Base", {0, 0, "the SSP base file does not exist"}, true, Flow::stop},
      {"a base of 301", {{"base/Base", "301\n"}}, 3200, 3800, "base/Base", {1, 0, "at most 300"}, true, Flow::go_on},
      {"an SSP file missing",
       {{"base/Base", "1\na.dat 1e9 0.02 c 0.5 0 0\n"}},
       3200,
       3800,
       "base/a.dat",
       {0, 0, "cannot be opened"},
       true,
       Flow::stop},
      {"a point unread",
       {{"base/Base", "1\na.dat 1e9 0.02 c 0.5 0 0\n"}, {"base/a.dat", "3000 1\n3500,,\n"}},
       3200,
       3800,
       "base/a.dat",
       {2, 2, "expected two numbers (wavelength, flux), found '3500,,'"},
       true,
       Flow::go_on},
      {"a fit range outside",
       {{"base/Base", "1\na.dat 1e9 0.02 c 0.5 0 0\n"}, {"base/a.dat", ssp}},
       2000,
       3800,
       "base/a.dat",
       {0, 0, "the fit range [2000, 3800]"},
       true,
       Flow::go_on},
      {"a decreasing grid",
       {{"base/Base", "1\na.dat 1e9 0.02 c 0.5 0 0\n"}, {"base/a.dat", "#\n3000 1\n3600 1\n3500 1\n4000 1\n"}},
       3200,
       3800,
       "base/a.dat",
       {4, 0, "3500 Å after 3600 Å"},
       true,
       Flow::go_on},
      {"masses not reliable",
       {{"base/Base", "1\na.dat 1e9 0.02 c 2.5 0 0\n"}, {"base/a.dat", ssp}},
       3200,
       3800,
       "base/Base",
       {0, 0, "not reliable"},
       false,
       Flow::go_on},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vtest::TempDir dir;
    for (const auto& [name, text] : c.files) vtest::write_file(dir / name, text);
    DiskSource source;
    CapturedReport r;
    const std::string base_dir = dir / "base/";
    const BaseRead read = Read_BASpec(r.context, source, {dir / "base/Base", base_dir, c.ini, c.fin, 1});
    EXPECT_EQ(r.status.failed(), c.fails);
    EXPECT_EQ(read.flow, c.flow);
    if (c.file.empty()) {
      EXPECT_TRUE(r.problems.empty());
      continue;
    }
    ASSERT_FALSE(r.problems.empty());
    expect_where(r.problems.back(), dir / c.file, c.where);
    // The console shows the problem's own lines, after the report header.
    EXPECT_EQ(r.problems.back().console.front(), "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@");
    EXPECT_NE(r.console.captured().find(r.problems.back().console.back()), std::string::npos);
  }
}

}  // namespace
}  // namespace veltrane
