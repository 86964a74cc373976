// Read_BASpec and ReadTextBAS on small bases generated in a temporary directory.
// Expected report and listing fields (e15.3, e15.5, f8.3, f15.5) come from gfortran 12.2
// (tools/fprobe); indices and counts are worked out by hand from the generated grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"
#include "readers/ssp_base.h"
#include "test_util.h"

namespace veltrane {
namespace {

constexpr const char* kHeader = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n";
constexpr const char* kDateLine = "    VESK - <DATE>\n";

// A spectrum record per wavelength; the flux tells the SSP and the point apart.
std::string spectrum(const std::vector<float>& lambdas, int ssp = 0) {
  std::string text;
  char buf[64];
  for (std::size_t i = 0; i < lambdas.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%.1f %.4f\n", static_cast<double>(lambdas[i]),
                  1.0 + 0.25 * ssp + 0.0001 * static_cast<double>(i));
    text += buf;
  }
  return text;
}

std::vector<float> grid(float start, float step, int n) {
  std::vector<float> g;
  for (int i = 0; i < n; ++i) g.push_back(start + step * static_cast<float>(i));
  return g;
}

// A base file record: name, age, metallicity, code, M*, ind_exAV, alphbase.
std::string ssp_record(const std::string& name, const std::string& age = "1.0e9",
                       const std::string& met = "0.02", const std::string& mst = "0.5") {
  return name + "  " + age + "  " + met + "  code_" + name + "  " + mst + "  0.0  0.004\n";
}

class ReadBaseTest : public ::testing::Test {
 protected:
  vtest::TempDir tmp;
  SspBase base;
  std::vector<float> age_base = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> met_base = std::vector<float>(kMaxSsp, 0.0f);
  std::vector<float> alphbase = std::vector<float>(kMaxSsp, 0.0f);
  Console console = Console::capture();
  std::string arq_base;
  std::string base_dir;
  std::string log_name;
  int Num_base = 7;
  int IsKeepOn = 1;

  void SetUp() override {
    arq_base = tmp / "Base.txt";
    base_dir = tmp.str() + "/ssp/";
    log_name = tmp / "gal01.LOG";
  }

  void write_ssp(const std::string& name, const std::string& text) {
    vtest::write_file(base_dir + name, text);
  }
  void write_base(const std::string& text) { vtest::write_file(arq_base, text); }

  // A base of n SSPs on one grid, ssp_001.dat ... with M* 0.5.
  void standard_base(int n, const std::vector<float>& lambdas) {
    std::string text = std::to_string(n) + "   [N_base]\n";
    for (int k = 1; k <= n; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "ssp_%03d.dat", k);
      text += ssp_record(name);
      write_ssp(name, "# model\n# columns: lambda flux\n" + spectrum(lambdas, k - 1));
    }
    write_base(text);
  }

  // Ready for another call after a failure ("NONE" in arq_base, cleared status).
  void again() {
    arq_base = tmp / "Base.txt";
    IsKeepOn = 1;
    console.clear();
  }

  void read(float ini, float fin, int verbose = 0) {
    Read_BASpec(console, base, age_base, met_base, alphbase, ini, fin, arq_base, base_dir,
                log_name, Num_base, IsKeepOn, verbose);
  }
  std::string log() const { return vtest::mask_dates(vtest::read_file(log_name)); }
  std::string out() const { return console.captured(); }
};

TEST_F(ReadBaseTest, ReadsTablesGridAndSpectra) {
  const auto g = grid(3600.0f, 50.0f, 69);  // 3600 ... 7000
  standard_base(2, g);
  read(3700.0f, 6800.0f);

  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(Num_base, 2);
  EXPECT_EQ(out(), "");
  EXPECT_FALSE(vtest::exists(log_name));
  EXPECT_EQ(arq_base, tmp / "Base.txt");
  EXPECT_EQ(base.filebase[0], "ssp_001.dat");
  EXPECT_EQ(base.filebase[1], "ssp_002.dat");
  EXPECT_EQ(base.filebase[2], "NONE");
  EXPECT_EQ(base.cod_base[1], "code_ssp_002.dat");
  EXPECT_EQ(base.cod_base[2], "NONE");
  EXPECT_EQ(age_base[1], 1.0e9f);
  EXPECT_EQ(age_base[2], -999.0f);
  EXPECT_EQ(met_base[0], 0.02f);
  EXPECT_EQ(met_base[2], 0.0f);
  EXPECT_EQ(base.Mst_base[1], 0.5f);
  EXPECT_EQ(alphbase[1], 0.004f);
  EXPECT_EQ(base.QHc_base[0], -999.0f);
  EXPECT_EQ(base.NOl_base, 69);
  EXPECT_EQ(base.Num_ages, 1);
  EXPECT_EQ(base.Num_mets, 1);
  for (int i = 0; i < 69; ++i) ASSERT_EQ(base.b_lambda[std::size_t(i)], g[std::size_t(i)]);
  EXPECT_EQ(base.b_lambda[69], -999.0f);
  EXPECT_EQ(base.flux(0)[0], 1.0f);
  EXPECT_EQ(base.flux(1)[68], std::strtof("1.2568", nullptr));
  EXPECT_EQ(base.flux(1)[69], -999.0f);
  EXPECT_EQ(base.flux(2)[0], -999.0f);
  EXPECT_EQ(base.flux(kMaxSsp - 1)[kMaxPoints - 1], -999.0f);
}

// Ilowbase: last point at or below Olsynini; Iuppbase: first point above Olsynfin
// (grid 3600, 3650, ..., 7000; point numbers from 1).
TEST_F(ReadBaseTest, BracketIndicesOnAndOffGridPoints) {
  standard_base(1, grid(3600.0f, 50.0f, 69));
  struct Case {
    float ini, fin;
    int low, upp;
  };
  const Case cases[] = {
      {3700.0f, 6800.0f, 3, 66},  // on grid points
      {3720.0f, 6810.0f, 3, 66},  // between points
      {3600.0f, 6950.0f, 1, 69},  // at the first point; the last point is the first above
      {3699.9f, 6849.9f, 2, 66},
  };
  for (const Case& c : cases) {
    again();
    read(c.ini, c.fin);
    EXPECT_EQ(IsKeepOn, 1) << c.ini;
    EXPECT_EQ(base.Ilowbase, c.low) << c.ini;
    EXPECT_EQ(base.Iuppbase, c.upp) << c.fin;
  }
}

TEST_F(ReadBaseTest, HeaderIsHashInFirstColumnOnly) {
  write_base("1\n" + ssp_record("a.dat"));
  // Three "#" records, then points; a "#" later on a point record is a trailing comment.
  write_ssp("a.dat", "#one\n#two\n# three\n3600 1.0 # first point\n4000,2.0\n7000 3.0\n");
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(base.NOl_base, 3);
  EXPECT_EQ(base.b_lambda[0], 3600.0f);
  EXPECT_EQ(base.flux(0)[1], 2.0f);

  // Windows line ends read the same.
  write_ssp("a.dat", "#one\r\n#two\r\n# three\r\n3600 1.0\r\n4000,2.0\r\n7000 3.0\r\n");
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(base.NOl_base, 3);
  EXPECT_EQ(base.flux(0)[2], 3.0f);

  // Not in the first column: no comment, so the record is a point that does not read.
  write_ssp("a.dat", " #one\n3600 1.0\n7000 3.0\n");
  again();
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(log(), std::string(kHeader) + "    [ReadTextBAS] arq_file> read problem @\n" + kDateLine);

  // A "#" record after the first point is no comment either.
  write_ssp("a.dat", "#one\n3600 1.0\n#two\n7000 3.0\n");
  again();
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_NE(out().find("[ReadTextBAS] arq_file> read problem @"), std::string::npos);

  // An empty record ends the header.
  write_ssp("a.dat", "\n#one\n3600 1.0\n7000 3.0\n");
  again();
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
}

TEST_F(ReadBaseTest, BaseDirIsUsedUpToItsFirstBlankWithoutSeparator) {
  write_base("1\n" + ssp_record("ssp_001.dat"));
  vtest::write_file(tmp / "sspssp_001.dat", spectrum(grid(3600.0f, 100.0f, 35)));
  base_dir = tmp / "ssp";  // no final slash
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(base.NOl_base, 35);

  base_dir = tmp.str() + "/ssp/ ignored words";
  vtest::write_file(tmp / "ssp/ssp_001.dat", spectrum(grid(3600.0f, 100.0f, 34)));
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(base.NOl_base, 34);
}

TEST_F(ReadBaseTest, SpectrumStartingAboveOlsyniniFailsAtTheBracketTest) {
  standard_base(1, grid(3800.0f, 50.0f, 70));
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(arq_base, "NONE");
  const std::string report = std::string(kHeader) + "    [ReadTextBAS] Ilowbase--Iuppbase === 0\n";
  EXPECT_EQ(out(), report);
  EXPECT_EQ(log(), report + kDateLine);
}

TEST_F(ReadBaseTest, SpectrumEndingAtOlsynfinFails) {
  standard_base(1, grid(3600.0f, 50.0f, 65));  // last point 6800
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(base.Iuppbase, 0);
  EXPECT_EQ(base.Ilowbase, 3);
}

// On a grid that is not monotonic both brackets may exist while the fit range still lies
// beyond an end of the grid.
TEST_F(ReadBaseTest, FitOutOfRangeReport) {
  write_base("1\n" + ssp_record("a.dat"));
  write_ssp("a.dat", "3000 1\n8000 1\n3200 1\n");
  read(3500.0f, 6000.0f);
  EXPECT_EQ(IsKeepOn, 0);
  const std::string report = std::string(kHeader) +
                             "    [Read_BASpec] Fit out of range allowed\n"
                             "[Read_BASpec]       0.350E+04---      0.600E+04\n"
                             "[Read_BASpec]       0.300E+04---      0.320E+04\n";
  EXPECT_EQ(out(), report);
  EXPECT_EQ(log(), report + kDateLine);

  write_ssp("a.dat", "7000 1\n3000 1\n8000 1\n");  // starts above Olsynfin
  again();
  read(3500.0f, 6000.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_NE(out().find("[Read_BASpec]       0.700E+04---      0.800E+04\n"), std::string::npos);
}

TEST_F(ReadBaseTest, OrderTestLetsEqualNeighboursPassButNotAStepBack) {
  write_base("1\n" + ssp_record("a.dat"));
  write_ssp("a.dat", "3600 1\n3650 1\n3650 2\n7000 1\n");
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(out(), "");

  write_ssp("a.dat", "3600 1\n3650 1\n3640 2\n7000 1\n");
  again();
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  const std::string report = std::string(kHeader) + "    [Read_BASpec] λ is not incresing order\n";
  EXPECT_EQ(out(), report);
  EXPECT_EQ(log(), report + kDateLine);
}

TEST_F(ReadBaseTest, TenThousandPointsAreReportedAndKept) {
  for (int n : {kMaxPoints, kMaxPoints + 5}) {
    standard_base(1, grid(1000.0f, 1.0f, n));
    again();
    read(3700.0f, 6800.0f);
    EXPECT_EQ(IsKeepOn, 1) << n;
    EXPECT_EQ(base.NOl_base, kMaxPoints) << n;
    EXPECT_EQ(base.b_lambda[kMaxPoints - 1], 10999.0f) << n;
    EXPECT_EQ(base.Iuppbase, 5802) << n;
    const std::string report = std::string(kHeader) + "    [ReadTextBAS] NOl_base > N_lambda @@@@\n";
    EXPECT_EQ(out(), report) << n;
    EXPECT_EQ(log(), report + kDateLine) << n;
  }
  standard_base(1, grid(1000.0f, 1.0f, kMaxPoints - 1));
  console.clear();
  read(3700.0f, 6800.0f);
  EXPECT_EQ(base.NOl_base, kMaxPoints - 1);
  EXPECT_EQ(out(), "");
}

TEST_F(ReadBaseTest, CountsDistinctNonNegativeAgesAndMetallicities) {
  const auto g = grid(3600.0f, 100.0f, 35);
  std::string text = "11\n";
  const char* ages[] = {"1e6", "1e7", "1e8", "1e9", "1e10"};
  for (int k = 0; k < 11; ++k) {
    const std::string name = "s" + std::to_string(k);
    const std::string age = k == 10 ? "-5.0" : ages[k % 5];
    const std::string met = k == 10 ? "-0.1" : (k < 5 ? "0.004" : "0.02");
    text += ssp_record(name, age, met);
    write_ssp(name, spectrum(g, k));
  }
  write_base(text);
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(Num_base, 11);
  EXPECT_EQ(base.Num_ages, 5);
  EXPECT_EQ(base.Num_mets, 2);
  EXPECT_EQ(base.flux(10)[0], 3.5f);
}

TEST_F(ReadBaseTest, StellarMassCheck) {
  struct Case {
    const char* mst;
    bool reliable;
  };
  const Case cases[] = {{"1.0", true}, {"0.001", true}, {"0.0", false}, {"1.5", false},
                        {"-0.5", false}, {"NaN", false}};
  const auto g = grid(3600.0f, 100.0f, 35);
  write_ssp("a", spectrum(g));
  write_ssp("b", spectrum(g, 1));
  for (const Case& c : cases) {
    write_base("2\n" + ssp_record("a", "1e9", "0.02", "0.5") + ssp_record("b", "1e9", "0.02", c.mst));
    again();
    read(3700.0f, 6800.0f);
    EXPECT_EQ(IsKeepOn, 1) << c.mst;
    if (c.reliable) {
      EXPECT_EQ(out(), "") << c.mst;
      EXPECT_EQ(base.Mst_base[0], 0.5f) << c.mst;
    } else {
      const std::string report = std::string(kHeader) +
                                 "    [Read_BASpec] Stellar Mass % set === 0\n"
                                 "    [Read_BASpec] M* are not reliable @@@@\n";
      EXPECT_EQ(out(), report) << c.mst;
      EXPECT_EQ(log(), report + kDateLine) << c.mst;
      for (float m : base.Mst_base) ASSERT_EQ(m, 0.0f) << c.mst;
    }
  }
}

TEST_F(ReadBaseTest, NoSspReadsNothing) {
  write_base("0\n" + ssp_record("missing.dat"));
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(Num_base, 0);
  EXPECT_EQ(out(), "");
  EXPECT_FALSE(vtest::exists(log_name));
  for (float l : base.b_lambda) ASSERT_EQ(l, -999.0f);
  EXPECT_EQ(base.filebase[0], "NONE");
}

TEST_F(ReadBaseTest, EmptyBaseFileKeepsTheResultCount) {
  write_base("");
  Num_base = 0;
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(Num_base, 0);

  // A missing SSP record leaves the name "NONE", looked for in base_dir.
  write_base("2\n" + ssp_record("a"));
  write_ssp("a", spectrum(grid(3600.0f, 100.0f, 35)));
  write_ssp("NONE", spectrum(grid(3600.0f, 100.0f, 35), 1));
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(Num_base, 2);
  EXPECT_EQ(base.filebase[1], "NONE");
  EXPECT_EQ(age_base[1], -999.0f);
  EXPECT_EQ(base.flux(1)[0], 1.25f);
  EXPECT_EQ(base.Num_ages, 1);
  // M* of the missing record is 0.0: the mass report.
  EXPECT_NE(out().find("Stellar Mass % set === 0"), std::string::npos);
}

TEST_F(ReadBaseTest, EachReportRewritesTheLog) {
  vtest::write_file(log_name, "    an earlier report\n");
  write_base("1\n" + ssp_record("a", "1e9", "0.02", "2.0"));
  write_ssp("a", spectrum(grid(1000.0f, 1.0f, kMaxPoints)));
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  // Two reports on the console, only the last one in the log.
  EXPECT_NE(out().find("NOl_base > N_lambda"), std::string::npos);
  EXPECT_EQ(log(), std::string(kHeader) +
                       "    [Read_BASpec] Stellar Mass % set === 0\n"
                       "    [Read_BASpec] M* are not reliable @@@@\n" +
                       kDateLine);
}

TEST_F(ReadBaseTest, MissingBaseFileEndsTheRun) {
  try {
    read(3700.0f, 6800.0f);
    FAIL() << "no stop";
  } catch (const RunStop& stop) {
    EXPECT_EQ(stop.status(), 1);
  }
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(arq_base, "NONE");
  const std::string lines = std::string(kHeader) + "    [Read_BASpec] arq_base> does not exist\n";
  EXPECT_EQ(out(), lines + "    [Read_BASpec] arq_base> " + tmp.str() + "/Base.txt\n");
  EXPECT_EQ(log(), lines + kDateLine);
}

TEST_F(ReadBaseTest, SspFileThatCannotBeOpenedEndsTheRun) {
  write_base("2\n" + ssp_record("a") + ssp_record("sub"));
  write_ssp("a", spectrum(grid(3600.0f, 100.0f, 35)));
  for (bool directory : {false, true}) {
    if (directory) std::filesystem::create_directories(base_dir + "sub");
    again();
    try {
      read(3700.0f, 6800.0f);
      FAIL() << "no stop";
    } catch (const RunStop& stop) {
      EXPECT_EQ(stop.status(), 1);
    }
    EXPECT_EQ(IsKeepOn, 0);
    const std::string report = std::string(kHeader) +
                               "    [ReadTextBAS] arq_file> does not exist\n"
                               "    [ReadTextBAS] arq_file> " +
                               base_dir + "sub\n";
    EXPECT_EQ(out(), report);
    EXPECT_EQ(log(), report + kDateLine);
  }
}

TEST_F(ReadBaseTest, NameLongerThanTheTextIsCut) {
  const std::string longname(700, 'n');
  write_base("1\n" + ssp_record(longname));
  EXPECT_THROW(read(3700.0f, 6800.0f), RunStop);
  EXPECT_EQ(base.filebase[0], std::string(600, 'n'));
  const std::string path = (base_dir + std::string(600, 'n')).substr(0, 600);
  EXPECT_NE(out().find("    [ReadTextBAS] arq_file> " + path + "\n"), std::string::npos);
}

// Failures before the reset leave the tables as they were.
TEST_F(ReadBaseTest, BaseFileErrorsAndCountsItCannotTake) {
  struct Case {
    const char* text;
    int num_base;
    const char* lines;
  };
  const Case cases[] = {
      {"two\n", 7, "    [Read_BASpec] Base File contains ERROR\n"},
      {"301\n", 301,
       "    [Read_BASpec] Whoops-a-daisy--Num_base\n    [Read_BASpec] Num_base: 301\n"
       "    [Read_BASpec] Nbasemax: 300\n"},
      {"2001\n", 2001,
       "    [Read_BASpec] Whoops-a-daisy--Num_base\n    [Read_BASpec] Num_base: 2001\n"
       "    [Read_BASpec] Nbasemax: 300\n"},
  };
  for (const Case& c : cases) {
    again();
    write_base(c.text);
    base.b_lambda[0] = 5.0f;
    base.filebase[0] = "old";
    age_base[0] = 3.0f;
    Num_base = 7;
    read(3700.0f, 6800.0f);
    EXPECT_EQ(IsKeepOn, 0) << c.text;
    EXPECT_EQ(arq_base, "NONE") << c.text;
    EXPECT_EQ(Num_base, c.num_base) << c.text;
    EXPECT_EQ(base.b_lambda[0], 5.0f) << c.text;
    EXPECT_EQ(base.filebase[0], "old") << c.text;
    EXPECT_EQ(age_base[0], 3.0f) << c.text;
    const std::string report = std::string(kHeader) + c.lines;
    EXPECT_EQ(out(), report) << c.text;
    EXPECT_EQ(log(), report + kDateLine) << c.text;
  }
}

TEST_F(ReadBaseTest, BaseFileThatIsADirectory) {
  std::filesystem::create_directories(arq_base);
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(log(), std::string(kHeader) + "    [Read_BASpec] Base File contains ERROR\n" + kDateLine);
}

TEST_F(ReadBaseTest, SspRecordWithTextForARealKeepsWhatWasRead) {
  const auto g = grid(3600.0f, 100.0f, 35);
  write_ssp("a", spectrum(g));
  write_base("2\n" + ssp_record("a") + "b  1e9  old  code  0.5  0.0  0.0\n");
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 0);
  EXPECT_EQ(out(), std::string(kHeader) + "    [Read_BASpec] Base File contains ERROR\n");
  // The first SSP stays as read, the second one's values up to the error too.
  EXPECT_EQ(base.b_lambda[0], 3600.0f);
  EXPECT_EQ(base.flux(0)[0], 1.0f);
  EXPECT_EQ(base.filebase[1], "b");
  EXPECT_EQ(age_base[1], 1.0e9f);
  EXPECT_EQ(base.cod_base[1], "NONE");
}

TEST_F(ReadBaseTest, GarbageSspFiles) {
  write_base("1\n" + ssp_record("a"));
  const std::string garbage[] = {
      std::string("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0\xff\xfe", 12),
      "3600 1.0\n3700 nonsense\n",
      "3600 1.0\n3700",  // ends inside a point
      "",
      "#only\n#a header\n",
  };
  for (const std::string& g : garbage) {
    write_ssp("a", g);
    again();
    read(3700.0f, 6800.0f);
    EXPECT_EQ(IsKeepOn, 0) << g;
    EXPECT_EQ(arq_base, "NONE") << g;
  }
  EXPECT_EQ(base.NOl_base, 0);
  EXPECT_EQ(log(), std::string(kHeader) + "    [ReadTextBAS] Ilowbase--Iuppbase === 0\n" + kDateLine);
}

// A file cut inside its last point: the point is not read, and its wavelength is not left
// behind in the grid (where it would count as a base point).
TEST_F(ReadBaseTest, FileEndingInsideAPoint) {
  write_base("1\n" + ssp_record("a"));
  write_ssp("a", "3600 1.0\n7000 2.0\n7100");
  read(3700.0f, 6800.0f);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(base.NOl_base, 2);
  EXPECT_EQ(base.b_lambda[2], -999.0f);
  EXPECT_EQ(base.flux(0)[2], -999.0f);
}

TEST_F(ReadBaseTest, Listing) {
  write_base("2\n" + ssp_record("ssp1", "1e9", "0.02", "0.5") + ssp_record("ssp2", "1.25e8", "0.004", "1.0"));
  write_ssp("ssp1", spectrum(grid(3600.0f, 50.0f, 69)));
  write_ssp("ssp2", spectrum(grid(3600.0f, 50.0f, 69), 1));
  read(3700.0f, 6800.0f, 1);
  EXPECT_EQ(IsKeepOn, 1);
  const std::string dir = tmp.str();
  const std::string expected =
      "    [Read_BASpec]\n"
      "    ... arq_base: " + dir + "/Base.txt\n"
      "    ... base_dir: " + dir + "/ssp/\n"
      "    ... Olsynini: 3700.00000\n"
      "    ... Olsynfin: 6800.00000\n"
      "    [Ver_Dir_Arc]\n"
      "    ... filename: " + dir + "/Base.txt\n"
      "    ... filexist: T\n"
      "    [Ver_Dir_Arc]\n"
      "    ... Set_base: Reset arrays\n"
      "    ... VT__WARN: Wavelengths must have the same range for all SSPs\n"
      "    file       age_base       met_base       cod_base       Mst_base       ind_exAV       alphbase       QHc_base\n"
      "    ssp1    0.10000E+10    0.20000E-01     code_ssp1    0.50000E+00    0.00000E+00    0.40000E-02   -0.99900E+03\n"
      "    ssp2    0.12500E+09    0.40000E-02     code_ssp2    0.10000E+01    0.00000E+00    0.40000E-02   -0.99900E+03\n"
      "    ... Num base: 2\n"
      "    ... Num_ages: 2\n"
      "    ... Num_mets: 2\n"
      "    ... NOl_base: 69\n"
      "    ... Ilowbase: 3\n"
      "    ... Iuppbase: 66\n"
      "    [Read_BASpec]\n";
  EXPECT_EQ(out(), expected);
}

TEST_F(ReadBaseTest, ListingHeaderIsPaddedToALongFirstName) {
  write_base("1\n" + ssp_record("a_long_file_name.dat"));
  write_ssp("a_long_file_name.dat", spectrum(grid(3600.0f, 50.0f, 69)));
  read(3700.0f, 6800.0f, 1);
  // "filebase" padded to 20 characters, then "age_base" right-aligned in 15.
  EXPECT_NE(out().find("\n    filebase" + std::string(12 + 7, ' ') + "age_base"), std::string::npos);
}

TEST_F(ReadBaseTest, ListingCoverageWarnings) {
  write_base("1\n" + ssp_record("a"));
  write_ssp("a", "3800 1\n3650 1\n7000 1\n6500 1\n");
  read(3700.0f, 6800.0f, 1);
  EXPECT_EQ(IsKeepOn, 0);
  const std::string bar = "    " + std::string(65, '?') + "\n";
  const std::string warnings = bar +
                               "    [Read_BASpec] WARNING! Olsynini is out of range\n"
                               "    [Read_BASpec] 3700.000---3800.000\n" +
                               bar + bar +
                               "    [Read_BASpec] WARNING! Olsynfin is out of range\n"
                               "    [Read_BASpec] 6800.000---6500.000\n" +
                               bar + std::string(kHeader) +
                               "    [Read_BASpec] λ is not incresing order\n";
  const std::string text = out();
  ASSERT_GE(text.size(), warnings.size());
  EXPECT_EQ(text.substr(text.size() - warnings.size()), warnings);
}

TEST_F(ReadBaseTest, PointDump) {
  write_base("1\n" + ssp_record("a"));
  write_ssp("a", "3600 1.25\n7000 0.1\n");
  read(3700.0f, 6800.0f, 5);
  EXPECT_EQ(IsKeepOn, 1);
  EXPECT_EQ(out(), "    3600.00000\n    1.25000\n    7000.00000\n    0.10000\n");
}

}  // namespace
}  // namespace veltrane
