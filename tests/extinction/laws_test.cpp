// The six extinction laws: bit-for-bit agreement with an independent REAL(4) Fortran
// transcription (data/law_values.txt, tools/law_reference) at 56 wavelengths, range ends,
// NaN and non-positive wavelengths included, and the reports appended out of range.
#include "extinction/laws.h"

#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <sstream>

#include "test_util.h"

namespace veltrane {
namespace {

LawValue eval(int law, float lambda, ReportContext& report) {
  switch (law) {
    case 0: return CALR_LawOPT(report, lambda);
    case 1: return CCJR_LawOPT(report, lambda);
    case 2: return CCMR_LawOPT(report, lambda, 3.1f);
    default: return GDNR_LawOPT(report, lambda, std::string("GD") + char('0' + law - 2));
  }
}

TEST(Laws, MatchTheFortranTranscriptionBitForBit) {
  CapturedReport report;
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
      const LawValue v = eval(law, lambda, report.context);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(v.q), want) << "law " << law << " at " << text;
      EXPECT_EQ(v.in_range, want != 0) << "law " << law << " at " << text;
      outside += want == 0;
    }
    ++rows;
  }
  EXPECT_EQ(rows, 56);
  EXPECT_EQ(int(report.log.reports().size()), outside);
  for (const auto& r : report.log.reports()) EXPECT_EQ(r.mode, LogMode::append);
  // A law reports in the log only: the console is untouched, and the model's status is the
  // caller's to change.
  EXPECT_EQ(report.console.captured(), "");
  EXPECT_TRUE(report.status.good());
}

TEST(Laws, ReportsAreAppendedToTheLog) {
  CapturedReport report;
  for (int law = 0; law < 4; ++law) eval(law, 100.0f, report.context);
  const LawValue bad = GDNR_LawOPT(report.context, 5500.0f, "GD7");
  EXPECT_EQ(bad.q, 0.0f);
  EXPECT_FALSE(bad.in_range);
  EXPECT_EQ(vtest::mask_dates(report.log.content().text),
            vtest::read_file(std::string(VELTRANE_TEST_DATA) + "/extinction/data/law_reports.txt"));
}

}  // namespace
}  // namespace veltrane
