// The four law routines: bit-for-bit agreement with an independent gfortran evaluation
// (law_reference_values.h), the ends of every range, and the out-of-range report.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "extinction/law_tables.h"
#include "extinction/laws.h"
#include "law_reference_values.h"
#include "numerics/common.h"
#include "numerics/console.h"
#include "test_util.h"

namespace {

using veltrane::Console;

enum class Code { CAL, CCJ, CCM, GD1, GD2, GD3 };
constexpr Code kAllCodes[] = {Code::CAL, Code::CCJ, Code::CCM, Code::GD1, Code::GD2, Code::GD3};

float eval(Console& c, Code code, float lambda, const std::string& log, int& status) {
  switch (code) {
    case Code::CAL: return veltrane::CALR_LawOPT(c, lambda, log, status);
    case Code::CCJ: return veltrane::CCJR_LawOPT(c, lambda, log, status);
    case Code::CCM: return veltrane::CCMR_LawOPT(c, lambda, 3.1f, log, status);
    case Code::GD1: return veltrane::GDNR_LawOPT(c, lambda, "GD1", log, status);
    case Code::GD2: return veltrane::GDNR_LawOPT(c, lambda, "GD2", log, status);
    case Code::GD3: return veltrane::GDNR_LawOPT(c, lambda, "GD3", log, status);
  }
  return -1.0f;
}

const char* name(Code code) {
  constexpr const char* kNames[] = {"CAL", "CCJ", "CCM", "GD1", "GD2", "GD3"};
  return kNames[static_cast<int>(code)];
}

int count_reports(const std::string& log) { return vtest::count(log, "[PROBLEM_FIT]"); }

class LawTest : public ::testing::Test {
 protected:
  vtest::TempDir dir;
  std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
};

TEST_F(LawTest, MatchesIndependentReferenceBitForBit) {
  for (const auto& row : vtest::kLawReference) {
    const float lambda = std::bit_cast<float>(row.lambda);
    for (Code code : kAllCodes) {
      const float expected = std::bit_cast<float>(row.q[static_cast<std::size_t>(code)]);
      int status = 1;
      const float q = eval(console, code, lambda, log, status);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(q), std::bit_cast<std::uint32_t>(expected))
          << name(code) << " at " << lambda << " Å: " << q << " vs " << expected;
      // The reference is 0 exactly where the law is out of range.
      EXPECT_EQ(status, expected == 0.0f ? 0 : 1) << name(code) << " at " << lambda;
    }
  }
  EXPECT_EQ(console.captured(), "");
}

struct RangeCase {
  Code code;
  float lambda;
  bool inside;
};

TEST_F(LawTest, RangeEnds) {
  const RangeCase cases[] = {
      {Code::CAL, 1199.9f, false}, {Code::CAL, 1200.0f, true},   {Code::CAL, 22000.0f, true},
      {Code::CAL, 22000.01f, false}, {Code::CCJ, 911.9f, false}, {Code::CCJ, 912.0f, true},
      {Code::CCJ, 1846.0f, true},   {Code::CCJ, 1846.1f, true},  {Code::CCJ, 31149.0f, true},
      {Code::CCJ, 31150.0f, false}, {Code::CCM, 999.0f, false},  {Code::CCM, 1000.0f, true},
      {Code::CCM, 33333.0f, true},  {Code::CCM, 33334.0f, false}, {Code::GD1, 1190.0f, false},
      {Code::GD1, 1194.1f, true},   {Code::GD1, 21978.0f, true}, {Code::GD1, 22000.0f, false},
      {Code::GD2, 1190.0f, false},  {Code::GD2, 22000.0f, false}, {Code::GD3, 1190.0f, false},
      {Code::GD3, 22000.0f, false},
  };
  int expected_reports = 0;
  for (const auto& c : cases) {
    int status = 1;
    const float q = eval(console, c.code, c.lambda, log, status);
    if (c.inside) {
      EXPECT_GT(q, 0.0f) << name(c.code) << " at " << c.lambda;
      EXPECT_EQ(status, 1) << name(c.code) << " at " << c.lambda;
    } else {
      ++expected_reports;
      EXPECT_EQ(q, 0.0f) << name(c.code) << " at " << c.lambda;
      EXPECT_EQ(status, 0) << name(c.code) << " at " << c.lambda;
    }
    EXPECT_EQ(count_reports(vtest::read_file(log)), expected_reports) << name(c.code) << " at " << c.lambda;
  }
  EXPECT_EQ(console.captured(), "");
}

TEST_F(LawTest, InRangeNeverTouchesTheStatusOrTheLog) {
  for (Code code : kAllCodes) {
    for (int status : {0, 1, 7}) {
      int s = status;
      eval(console, code, 5500.0f, log, s);
      EXPECT_EQ(s, status) << name(code);
    }
  }
  EXPECT_FALSE(vtest::exists(log));
}

TEST_F(LawTest, NotANumberAndNonPositiveWavelengthsAreOutOfEveryRange) {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(), 0.0f, -0.0f, -5500.0f,
                       std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::denorm_min()};
  int reports = 0;
  for (Code code : kAllCodes) {
    for (float lambda : bad) {
      int status = 1;
      EXPECT_EQ(eval(console, code, lambda, log, status), 0.0f) << name(code) << " at " << lambda;
      EXPECT_EQ(status, 0) << name(code) << " at " << lambda;
      ++reports;
    }
  }
  EXPECT_EQ(count_reports(vtest::read_file(log)), reports);
}

TEST_F(LawTest, NearOneAtFiveThousandFiveHundred) {
  for (Code code : kAllCodes) {
    int status = 1;
    const float q = eval(console, code, 5500.0f, log, status);
    EXPECT_NEAR(q, 1.0f, code == Code::CCM ? 0.002f : 0.001f) << name(code);
  }
}

TEST_F(LawTest, ExtendedLawSwitchesBranchesAt1846) {
  int status = 1;
  // At 1846 Å the far-ultraviolet polynomial, (0.671x + 5.472 − ...)/4.05; just above it the
  // Calzetti optical branch.
  const double x = 10000.0 / 1846.0;
  const double fuv = (0.671 * x + 5.472 - 0.009218 * x * x + 0.00262 * x * x * x) / 4.05;
  EXPECT_NEAR(veltrane::CCJR_LawOPT(console, 1846.0f, log, status), fuv, 2e-6);
  EXPECT_NE(veltrane::CCJR_LawOPT(console, 1846.0f, log, status),
            veltrane::CALR_LawOPT(console, 1846.0f, log, status));
  EXPECT_EQ(veltrane::CCJR_LawOPT(console, 1846.1f, log, status),
            veltrane::CALR_LawOPT(console, 1846.1f, log, status));
  EXPECT_EQ(status, 1);
}

TEST_F(LawTest, TableAbscissaeGiveTheirOrdinates) {
  namespace g = veltrane::gordon;
  const struct {
    Code code;
    const std::array<float, g::kRows>* q;
  } tables[] = {{Code::GD1, &g::q_smcbar}, {Code::GD2, &g::q_g_lmc2}, {Code::GD3, &g::q_lmcave}};
  for (const auto& t : tables) {
    for (int k = 0; k < g::kRows; ++k) {
      // x = 10000/λ need not give the abscissa back exactly; the ends may then fall outside.
      const float lambda = 10000.0f / g::x_gordon[static_cast<std::size_t>(k)];
      int status = 1;
      const float q = eval(console, t.code, lambda, log, status);
      if (status == 0) {
        EXPECT_TRUE(k == 0 || k == g::kRows - 1) << name(t.code) << " row " << k;
        continue;
      }
      EXPECT_NEAR(q, (*t.q)[static_cast<std::size_t>(k)], 1e-5f) << name(t.code) << " row " << k;
    }
  }
}

TEST_F(LawTest, OutOfRangeReportsAreAppendedExactly) {
  int status = 1;
  vtest::write_file(log, "earlier line\n");
  veltrane::CALR_LawOPT(console, 1000.0f, log, status);
  veltrane::CCJR_LawOPT(console, 900.0f, log, status);
  veltrane::CCMR_LawOPT(console, 40000.0f, 3.1f, log, status);
  veltrane::GDNR_LawOPT(console, 30000.0f, "GD2", log, status);
  const std::string expected =
      "earlier line\n"
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [EvalRedTerm] FUNCTION --- CALR_LawOPT\n"
      "    [EvalRedTerm] l < 1200 \xC3\x85 & l > 22000 \xC3\x85\n"
      "    [EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@\n"
      "    VESK - <DATE>\n"
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [EvalRedTerm] FUNCTION --- CCJR_LawOPT\n"
      "    [EvalRedTerm] l < 0912 \xC3\x85 & l > 31149 \xC3\x85\n"
      "    [EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@\n"
      "    VESK - <DATE>\n"
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [EvalRedTerm] FUNCTION --- CCMR_LawOPT\n"
      "    [EvalRedTerm] l < 1000 \xC3\x85 & l > 33333 \xC3\x85\n"
      "    [EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@\n"
      "    VESK - <DATE>\n"
      "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
      "    [EvalRedTerm] ... q_Gordon: 0 @@@@@@@@\n"
      "    [EvalRedTerm] lambda is out of Table 4\n"
      "    VESK - <DATE>\n";
  EXPECT_EQ(vtest::mask_dates(vtest::read_file(log)), expected);
  EXPECT_EQ(console.captured(), "");
}

TEST_F(LawTest, RangeMessagesAreFortyBytes) {
  int status = 1;
  veltrane::CALR_LawOPT(console, 100.0f, log, status);
  const std::string text = vtest::read_file(log);
  const auto at = text.find("[EvalRedTerm] l <");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(text.find('\n', at) - at, 40u);
}

TEST_F(LawTest, UnknownTableCodeIsReportedAsABadLaw) {
  for (const char* code : {"GD4", "gd1", "CAL", "  GD9  "}) {
    int status = 1;
    EXPECT_EQ(veltrane::GDNR_LawOPT(console, 5500.0f, code, log, status), 0.0f) << code;
    EXPECT_EQ(status, 0) << code;
  }
  const std::string text = vtest::mask_dates(vtest::read_file(log));
  EXPECT_NE(text.find("    [EvalRedTerm] ... q_Gordon: Bad extinction law ==> GD4\n    VESK - <DATE>\n"),
            std::string::npos);
  EXPECT_NE(text.find("    [EvalRedTerm] ... q_Gordon: Bad extinction law ==> GD9\n"), std::string::npos);
  EXPECT_EQ(count_reports(text), 4);
  // Trailing blanks do not make a known code unknown.
  int status = 1;
  EXPECT_EQ(veltrane::GDNR_LawOPT(console, 5500.0f, "GD1   ", log, status),
            veltrane::GDNR_LawOPT(console, 5500.0f, "GD1", log, status));
  EXPECT_EQ(status, 1);
}

TEST_F(LawTest, UnwritableLogEndsTheRun) {
  int status = 1;
  const std::string bad = dir / "no-such-dir/gal01.LOG";
  EXPECT_THROW(veltrane::CALR_LawOPT(console, 100.0f, bad, status), veltrane::RunStop);
  EXPECT_EQ(console.captured(), "    ... ERROR -> Cannot write " + bad + "\n");
}

}  // namespace
