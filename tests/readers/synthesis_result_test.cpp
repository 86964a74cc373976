// The synthesis result reader: positional records, the population table, the observed
// spectrum and its rescaling, and the read-error paths.
#include "readers/synthesis_result.h"

#include <gtest/gtest.h>

#include "../driver/fixtures.h"
#include "numerics/console.h"
#include "test_util.h"

namespace {

using veltrane::Console;
using veltrane::FitResult;
using veltrane::Read_Out_KW;

struct ReadOutcome {
  int IsKeepOn = 1;
  std::string console;
  std::string log;
  bool log_exists = false;
};

ReadOutcome read(const vtest::TempDir& dir, const std::string& text, FitResult& fit,
                 float phyunits = 1.0f) {
  vtest::write_file(dir / "gal", text);
  Console console = Console::capture();
  ReadOutcome out;
  Read_Out_KW(console, dir / "gal", dir / "gal.LOG", phyunits, fit, out.IsKeepOn);
  out.console = console.captured();
  out.log_exists = vtest::exists(dir / "gal.LOG");
  if (out.log_exists) out.log = vtest::mask_dates(vtest::read_file(dir / "gal.LOG"));
  return out;
}

vtest::SynthFile two_rows() {
  vtest::SynthFile s;
  s.law = "CCM";
  s.rows = {vtest::PopRow{60.0f, 30.0f, 25.0f, 1.0e7f, 0.004f, 0.1f, "young.txt"},
            vtest::PopRow{40.0f, 70.0f, 75.5f, 1.0e10f, 0.02f, 0.2f, "old.txt"}};
  s.obs = {{4000.0f, 2.0f, 0.1f, 1.0f}, {4001.0f, 3.0f, 0.2f, 0.0f}};
  s.flx_norm = 3.0f;
  return s;
}

TEST(ReadOutKW, ReadsHeaderTableAndSpectrumByPosition) {
  vtest::TempDir dir;
  FitResult fit;
  const auto out = read(dir, two_rows().text(), fit, 1.0e-17f);
  EXPECT_EQ(out.IsKeepOn, 1);
  EXPECT_EQ(out.console, "");
  EXPECT_FALSE(out.log_exists);
  EXPECT_EQ(fit.arq_info[1], "base.txt");
  EXPECT_EQ(fit.Num_base, 2);
  EXPECT_EQ(fit.R_LawOPT, "CCM");
  EXPECT_EQ(fit.Olsynini, 3700.0f);
  EXPECT_EQ(fit.Olsynfin, 6800.0f);
  EXPECT_EQ(fit.lbd_norm, 4020.0f);
  EXPECT_EQ(fit.flx_norm, 3.0f);
  EXPECT_EQ(fit.x_j[1], 40.0f);
  EXPECT_EQ(fit.m2_j[1], 70.0f);
  EXPECT_EQ(fit.age_j[0], 1.0e7f);
  EXPECT_EQ(fit.met_j[0], 0.004f);
  EXPECT_EQ(fit.alph_j[1], 0.2f);
  EXPECT_EQ(fit.basename[1], "old.txt");
  EXPECT_EQ(fit.m3_sum, 25.0f + 75.5f);
  EXPECT_EQ(fit.N_obs, 2);
  EXPECT_EQ(fit.o_lambda[1], 4001.0f);
  // (2.0 × 3.0) × 1.0E-17 in single precision.
  EXPECT_EQ(fit.o_fluxes[0], (2.0f * 3.0f) * 1.0e-17f);
  EXPECT_EQ(fit.s_fluxes[1], 0.2f);
}

TEST(ReadOutKW, CommentsAfterValuesReadTheSame) {
  vtest::TempDir dir;
  FitResult plain, commented;
  auto spec = two_rows();
  read(dir, spec.text(), plain);
  spec.comments = true;
  const auto out = read(dir, spec.text(), commented);
  EXPECT_EQ(out.IsKeepOn, 1);
  EXPECT_EQ(commented.R_LawOPT, plain.R_LawOPT);
  EXPECT_EQ(commented.m3_sum, plain.m3_sum);
  EXPECT_EQ(commented.o_fluxes[1], plain.o_fluxes[1]);
  EXPECT_EQ(commented.basename[0], plain.basename[0]);
}

TEST(ReadOutKW, NoPopulationRowsPutsTheSpectrumCountOnRecord81) {
  vtest::TempDir dir;
  vtest::SynthFile s;
  s.rows.clear();
  s.obs = {{5000.0f, 1.0f, 0.0f, 0.0f}};
  const std::string text = s.text();
  // Record 81 is the count: 63 + 0 rows + 17 skipped.
  std::size_t pos = 0;
  for (int i = 1; i < 81; ++i) pos = text.find('\n', pos) + 1;
  EXPECT_EQ(text.substr(pos, 2), "1\n");
  FitResult fit;
  const auto out = read(dir, text, fit);
  EXPECT_EQ(out.IsKeepOn, 1);
  EXPECT_EQ(fit.N_obs, 1);
  EXPECT_EQ(fit.o_lambda[0], 5000.0f);
}

TEST(ReadOutKW, MissingFileReportsAndLeavesEarlierValues) {
  vtest::TempDir dir;
  FitResult fit;
  read(dir, two_rows().text(), fit);
  Console console = Console::capture();
  int keep = 1;
  Read_Out_KW(console, dir / "nothing", dir / "gal.LOG", 1.0f, fit, keep);
  EXPECT_EQ(keep, 0);
  const std::string lines =
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [Read_Out_KW] arq_synt> does not exist\n"
      "    [Read_Out_KW] arq_synt> " + (dir / "nothing") + "\n";
  EXPECT_EQ(console.captured(), lines);
  EXPECT_EQ(vtest::mask_dates(vtest::read_file(dir / "gal.LOG")), lines + "    <DATE>\n");
  EXPECT_EQ(fit.R_LawOPT, "CCM");
  EXPECT_EQ(fit.N_obs, 2);
}

// Each case breaks the file in one way; all end in the same report.
struct BrokenCase {
  const char* what;
  void (*edit)(vtest::SynthFile&);
};

const BrokenCase kBroken[] = {
    {"text where record 26 needs a number", [](vtest::SynthFile& s) { s.replace[26] = "abc"; }},
    {"record 41 without its integer", [](vtest::SynthFile& s) { s.replace[41] = "token 5"; }},
    {"real in an integer record", [](vtest::SynthFile& s) { s.replace[11] = "3.5"; }},
    {"more than 300 rows", [](vtest::SynthFile& s) { s.num_base = 301; }},
};

TEST(ReadOutKW, BrokenFilesGiveTheErrorReport) {
  for (const BrokenCase& c : kBroken) {
    SCOPED_TRACE(c.what);
    vtest::TempDir dir;
    vtest::SynthFile s = two_rows();
    c.edit(s);
    FitResult fit;
    const auto out = read(dir, s.text(), fit);
    EXPECT_EQ(out.IsKeepOn, 0);
    const std::string lines =
        "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
        "    [Read_Out_KW] arqKWsynt contains ERROR\n";
    EXPECT_EQ(out.console, lines);
    EXPECT_EQ(out.log, lines + "    <DATE>\n");
  }
}

TEST(ReadOutKW, ErrorOnRecord26KeepsTheValuesReadBefore) {
  vtest::TempDir dir;
  vtest::SynthFile s = two_rows();
  s.replace[26] = "abc";
  FitResult fit;
  read(dir, s.text(), fit);
  EXPECT_EQ(fit.Num_base, 2);
  EXPECT_EQ(fit.R_LawOPT, "CCM");
  EXPECT_EQ(fit.Olsynini, 3700.0f);
  EXPECT_EQ(fit.Olsynfin, 6800.0f);
  EXPECT_EQ(fit.lbd_norm, 4020.0f);
}

TEST(ReadOutKW, TruncatedSpectrumAndOversizedCountsFail) {
  vtest::TempDir dir;
  const std::string full = two_rows().text();
  for (std::size_t cut : {full.size() / 3, full.size() - 10}) {
    FitResult fit;
    EXPECT_EQ(read(dir, full.substr(0, cut), fit).IsKeepOn, 0);
  }
  std::string row_text = full;
  row_text.replace(row_text.find("row 60"), 6, "row abc");
  FitResult bad_row;
  EXPECT_EQ(read(dir, row_text, bad_row).IsKeepOn, 0);
  vtest::SynthFile s = two_rows();
  s.obs.clear();
  std::string text = s.text();
  text.replace(text.rfind("0\n"), 2, "10001\n");
  FitResult fit;
  EXPECT_EQ(read(dir, text, fit).IsKeepOn, 0);
}

TEST(ReadOutKW, GarbageNeverReadsOutOfBounds) {
  vtest::TempDir dir;
  std::string garbage;
  unsigned state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>((state >> 16) & 0xff));
  }
  FitResult fit;
  EXPECT_EQ(read(dir, garbage, fit).IsKeepOn, 0);
}

}  // namespace
