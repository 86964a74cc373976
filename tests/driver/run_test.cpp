// The run driver as a process: parameter sources, echo, stops and their statuses, the
// model loop and the end-of-model log rule.
#include <gtest/gtest.h>

#include "scene.h"
#include "test_util.h"

namespace {

using vtest::mask_dates;
using vtest::run_veltrane;

const std::string kStdinParams = "1\n./\n./\n./\n1.0\n1.0\n0\n1\n0\n";

TEST(Run, StandardInputWithNoModelStops) {
  vtest::TempDir dir;
  const auto r = run_veltrane(dir.str(), {}, "0\n./\n./\n./\n1.0\n1.0\n0\n1\n0\n");
  EXPECT_EQ(r.out, "    ... ERROR -> No grid file or arguments\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Run, MissingOrBrokenParameterRecordsStop) {
  vtest::TempDir dir;
  for (const std::string input : {"", "1\n./\n./\n", "1\n./\n./\n./\nabc\n1.0\n0\n1\n0\n",
                                   "1\n./\n./\n./\n1.0\n1.0\n0.5\n1\n0\n"}) {
    SCOPED_TRACE(input);
    const auto r = run_veltrane(dir.str(), {}, input);
    EXPECT_EQ(r.out, "    ... ERROR -> Bad or missing run parameter record\n");
    EXPECT_EQ(r.status, 1);
  }
  const auto r = run_veltrane(dir.str(), {}, kStdinParams);
  const std::string last = "    ... ERROR -> Bad or missing model record\n";
  ASSERT_GE(r.out.size(), last.size());
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
  EXPECT_EQ(r.status, 1);
}

TEST(Run, MissingGridFileShowsTheExistenceListing) {
  vtest::TempDir dir;
  const auto r = run_veltrane(dir.str(), {"no_such_grid"});
  EXPECT_EQ(r.out,
            "    [Ver_Dir_Arc]\n"
            "    ... filename: no_such_grid\n"
            "    ... filexist: F\n"
            "    [Ver_Dir_Arc]\n"
            "    ... ERROR -> WRONG grid file\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Run, GridFileEchoAndPhyunitsImpliedPoint) {
  vtest::TempDir dir;
  vtest::GridFile g;
  g.n_models = 0;
  g.path_dir = "data/ trailing words";
  g.t_cut = "0.05";
  g.phyunits = "1";
  g.models.clear();
  vtest::write_file(dir / "grid.in", g.text());
  auto r = run_veltrane(dir.str(), {"grid.in"});
  EXPECT_EQ(r.out,
            "    [Ver_Dir_Arc]\n"
            "    ... filename: grid.in\n"
            "    ... filexist: T\n"
            "    [Ver_Dir_Arc]\n"
            "    ... N_models: 0\n"
            "    ... path_DIR: data/\n"
            "    ... base_SSP: ./\n"
            "    ... Fil__Dir: ./\n"
            "    ... t_cutGyr: 5.00000007E-02\n"
            "    ... Phyunits: 0.10000E-04\n"
            "    ... Ext_Corr: 0\n"
            "    ... PrintFil: 1\n"
            "    ... Fverbose: 0\n");
  EXPECT_EQ(r.status, 0);

  g.phyunits = "-2.";
  g.t_cut = "10";
  vtest::write_file(dir / "grid.in", g.text());
  r = run_veltrane(dir.str(), {"grid.in"});
  EXPECT_NE(r.out.find("    ... t_cutGyr: 10.0000000\n"
                       "    ... Phyunits: -0.20000E+01\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("    ... Fverbose: 0\n    ... VT__WARN: No reliable physical units\n"),
            std::string::npos);

  g.verbose = "1";
  g.phyunits = "1.0";
  vtest::write_file(dir / "grid.in", g.text());
  r = run_veltrane(dir.str(), {"grid.in"});
  EXPECT_EQ(r.out.substr(r.out.find("[Ver_Dir_Arc]\n    [Veltrane]")), "[Ver_Dir_Arc]\n    [Veltrane]\n    [Veltrane]\n");
}

TEST(Run, EmptyFirstArgumentMeansNoArgument) {
  vtest::TempDir dir;
  const auto r = run_veltrane(dir.str(), {"", "grid.in"}, "0\n./\n./\n./\n1.0\n1.0\n0\n1\n0\n");
  EXPECT_EQ(r.out, "    ... ERROR -> No grid file or arguments\n");
}

TEST(Run, CommandLineMisuse) {
  vtest::TempDir dir;
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"a", "b"}, "Wrong number of arguments"},
      {{"a", "b", "c", "d", "e"}, "Wrong number of arguments"},
      {{"gal", "10", "./", "./", "./", "1.0"}, "Phyunits argument missing"},
      {{"gal", "ten", "./", "./", "./", "1.0", "1.0"}, "Bad argument 2"},
      {{"gal", "   ", "./", "./", "./", "1.0", "1.0"}, "Bad argument 2"},
      {{"gal", "10", "./", "./", "./", "x", "1.0"}, "Bad argument 6"},
      {{"gal", "10", "./", "./", "./", "1.0", "1.0", "1.5"}, "Bad argument 8"},
      {{"gal", "10", "./", "./", "./", "1.0", "1.0", "1", "abc"}, "Bad argument 9"},
      {{"gal", "10", "./", "./", "./", "1.0", "1.0", "1", "1", "x"}, "Bad argument 10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const auto r = run_veltrane(dir.str(), c.args);
    EXPECT_EQ(r.out, "    ... ERROR -> " + c.message + "\n");
    EXPECT_EQ(r.status, 2);
  }
}

TEST(Run, ArgumentsRunOneModel) {
  vtest::Scene s;
  s.write();
  const std::string d = s.dir.str() + "/";
  // Arguments 8 to 10 left out read as 0; "1 2" in an integer argument is 12.
  auto r = run_veltrane(s.dir.str(), {"gal01", "10", d, d, d + "filters/", "5", "1.0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("    ... N_models: 1\n"), std::string::npos);
  EXPECT_NE(r.out.find("    ... PrintFil: 0\n"), std::string::npos);
  EXPECT_NE(r.out.find("    ... arq_synt: " + d + "gal01\n    ... distance: 10.00000000\n"), std::string::npos);
  EXPECT_FALSE(vtest::exists(s.file("gal01.MAG.out")));
  r = run_veltrane(s.dir.str(), {"gal01", "10", d, d, d + "filters/", "5", "1.0", "0", "1 2", "0", "extra"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("    ... PrintFil: 12\n"), std::string::npos);
  EXPECT_TRUE(vtest::exists(s.file("gal01.SPC.out")));
}

TEST(Run, MissingResultFileKeepsItsLog) {
  vtest::Scene s;
  s.grid.models = {"missing 0.0", "gal01 5.0"};
  s.grid.n_models = 2;
  const std::string grid = s.write();
  const auto r = run_veltrane(s.dir.str(), {grid});
  EXPECT_EQ(r.status, 0);
  const std::string report =
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [Read_Out_KW] arq_synt> does not exist\n"
      "    [Read_Out_KW] arq_synt> " + s.file("missing") + "\n";
  EXPECT_NE(r.out.find("    ... arq_synt: " + s.file("missing") + "\n    ... distance: 0.00000000\n" + report),
            std::string::npos);
  EXPECT_EQ(mask_dates(vtest::read_file(s.file("missing.LOG"))), report + "    <DATE>\n");
  EXPECT_FALSE(vtest::exists(s.file("missing.MAG.out")));
  // The second model goes on and succeeds.
  EXPECT_TRUE(vtest::exists(s.file("gal01.MAG.out")));
  EXPECT_FALSE(vtest::exists(s.file("gal01.LOG")));
}

TEST(Run, SuccessfulModelRemovesAnOldLog) {
  vtest::Scene s;
  const std::string grid = s.write();
  vtest::write_file(s.file("gal01.LOG"), "old report\n");
  const auto r = run_veltrane(s.dir.str(), {grid});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(vtest::exists(s.file("gal01.LOG"))) << r.out;
}

TEST(Run, UnreadableResultFileLeavesTheErrorReport) {
  vtest::Scene s;
  s.synth.replace[26] = "not-a-number";
  const std::string grid = s.write();
  const auto r = run_veltrane(s.dir.str(), {grid});
  EXPECT_EQ(r.status, 0);
  const std::string report =
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [Read_Out_KW] arqKWsynt contains ERROR\n";
  EXPECT_NE(r.out.find(report), std::string::npos);
  EXPECT_EQ(mask_dates(vtest::read_file(s.file("gal01.LOG"))), report + "    <DATE>\n");
  EXPECT_FALSE(vtest::exists(s.file("gal01.MAG.out")));
}

TEST(Run, OverlongNamesSkipTheModel) {
  vtest::Scene s;
  // A 600-character name has no blank, so its used part would be empty: take 580.
  const std::string longname(580, 'g');
  s.grid.models = {longname + " 1.0", "gal01 1.0"};
  s.grid.n_models = 2;
  const std::string grid = s.write();
  const auto r = run_veltrane(s.dir.str(), {grid});
  EXPECT_EQ(r.status, 0);
  const std::string stem = (s.dir.str() + "/" + longname).substr(0, 600);
  EXPECT_NE(r.out.find("    ... arq_synt: " + stem + "\n    ... distance: 1.00000000\n"
                       "    ... VT__WARN: File name too long, model skipped\n"),
            std::string::npos);
  EXPECT_TRUE(vtest::exists(s.file("gal01.MAG.out")));
}

TEST(Run, StandardInputModelRecordsMayContinueOnTheNextLine) {
  vtest::Scene s;
  s.write();
  const std::string d = s.dir.str() + "/";
  const std::string input = "1\n" + d + "\n" + d + "\n" + d + "filters/\n1.0\n1.0\n0\n1\n1\ngal01,\n 3.5\n";
  const auto r = run_veltrane(s.dir.str(), {}, input);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(vtest::exists(s.file("gal01.MAG.out")));
}

}  // namespace
