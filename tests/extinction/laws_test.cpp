// The six extinction laws: bit-for-bit agreement with an independent REAL(4) Fortran
// transcription (data/law_values.txt, tools/law_reference) at 56 wavelengths, range ends,
// NaN and non-positive wavelengths included, and the reports appended out of range.
#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <sstream>

#include "extinction/laws.h"
#include "numerics/problem_log.h"
#include "test_util.h"

namespace veltrane {
namespace {

float eval(int law, float lambda, ProblemLog& log, int& status) {
  switch (law) {
    case 0: return CALR_LawOPT(lambda, log, status);
    case 1: return CCJR_LawOPT(lambda, log, status);
    case 2: return CCMR_LawOPT(lambda, 3.1f, log, status);
    default: return GDNR_LawOPT(lambda, std::string("GD") + char('0' + law - 2), log, status);
  }
}

TEST(Laws, MatchTheFortranTranscriptionBitForBit) {
  ProblemLog log;
  std::ifstream in(std::string(VELTRANE_TEST_DATA) + "/extinction/data/law_values.txt");
  int rows = 0, outside = 0;
  for (std::string line; std::getline(in, line);) {
    if (line[0] == '#') continue;
    std::istringstream l(line);
    std::string text, bits;
    l >> text >> bits;
    const float lambda = std::bit_cast<float>(std::uint32_t(std::stoul(bits, nullptr, 16)));
    for (int law = 0; law < 6; ++law) {
      l >> bits;
      const std::uint32_t want = std::uint32_t(std::stoul(bits, nullptr, 16));
      int status = 1;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(eval(law, lambda, log, status)), want)
          << "law " << law << " at " << text;
      EXPECT_EQ(status, want == 0 ? 0 : 1) << "law " << law << " at " << text;
      outside += want == 0;
    }
    ++rows;
  }
  EXPECT_EQ(rows, 56);
  EXPECT_EQ(int(log.reports().size()), outside);
  for (const auto& r : log.reports()) EXPECT_EQ(r.mode, LogMode::append);
}

TEST(Laws, ReportsAreAppendedToTheLog) {
  ProblemLog log;
  int status = 1;
  for (int law = 0; law < 4; ++law) eval(law, 100.0f, log, status);
  EXPECT_EQ(GDNR_LawOPT(5500.0f, "GD7", log, status), 0.0f);
  EXPECT_EQ(vtest::mask_dates(log.content().text),
            vtest::read_file(std::string(VELTRANE_TEST_DATA) + "/extinction/data/law_reports.txt"));
}

}  // namespace
}  // namespace veltrane
