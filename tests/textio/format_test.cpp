// Formatted output, one behaviour per test. Expected bytes are gfortran 12.2's
// (checked with fprobe; the bulk comparison is in gfortran_tables_test.cpp).
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "textio/format.h"

namespace veltrane::textio {
namespace {

float bits(std::uint32_t b) { return std::bit_cast<float>(b); }

TEST(FormatF, RoundsOnTheExactBinaryValueAtTheLastDigit) {
  EXPECT_EQ(fmt_f(0.125f, 15, 2), "           0.12");  // exact tie, to even
  EXPECT_EQ(fmt_f(0.375f, 15, 2), "           0.38");
  EXPECT_EQ(fmt_f(1.0005f, 15, 3), "          1.000");  // the float is 1.00049996
  EXPECT_EQ(fmt_f(5e-6f, 15, 5), "        0.00000");    // 4.99999987e-6
  EXPECT_EQ(fmt_f(5.000001e-6f, 15, 5), "        0.00001");
  EXPECT_EQ(fmt_f(12345.678f, 15, 5), "    12345.67773");
  EXPECT_EQ(fmt_f(2.5f, 15, 0), "             2.");
}

TEST(FormatF, NegativeZeroAndNegativesRoundingToZeroKeepTheSign) {
  EXPECT_EQ(fmt_f(-0.0f, 15, 5), "       -0.00000");
  EXPECT_EQ(fmt_f(-0.000004f, 15, 5), "       -0.00000");
  EXPECT_EQ(fmt_f(bits(0x80000001), 15, 5), "       -0.00000");
  EXPECT_EQ(fmt_f(0.0f, 15, 5), "        0.00000");
  EXPECT_EQ(fmt_f(-0.5f, 15, 0), "            -0.");
}

TEST(FormatF, LeadingZeroDroppedThenAsterisks) {
  EXPECT_EQ(fmt_f(0.5f, 4, 2), "0.50");
  EXPECT_EQ(fmt_f(0.5f, 3, 2), ".50");
  EXPECT_EQ(fmt_f(-0.5f, 4, 2), "-.50");
  EXPECT_EQ(fmt_f(-0.5f, 3, 2), "***");
  EXPECT_EQ(fmt_f(0.96f, 2, 1), "**");
  EXPECT_EQ(fmt_f(12345.678f, 8, 3), "********");
  EXPECT_EQ(fmt_f(1e10f, 15, 5), "***************");
}

TEST(FormatF, InfinityAndNaNByWidth) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(fmt_f(inf, 15, 5), "       Infinity");
  EXPECT_EQ(fmt_f(-inf, 15, 5), "      -Infinity");
  EXPECT_EQ(fmt_f(-inf, 8, 3), "    -Inf");
  EXPECT_EQ(fmt_f(inf, 3, 1), "Inf");
  EXPECT_EQ(fmt_f(-inf, 3, 1), "***");
  EXPECT_EQ(fmt_f(bits(0xFFC00000), 15, 5), "            NaN");
}

TEST(FormatE, MantissaBelowOneAndTwoDigitExponent) {
  EXPECT_EQ(fmt_e(-999.0f, 15, 5), "   -0.99900E+03");
  EXPECT_EQ(fmt_e(1.0f, 14, 4), "    0.1000E+01");
  EXPECT_EQ(fmt_e(0.125005f, 15, 5), "    0.12501E+00");
  EXPECT_EQ(fmt_e(9.999996e5f, 15, 5), "    0.10000E+07");  // carry into the exponent
  EXPECT_EQ(fmt_e(bits(0x00000001), 15, 5), "    0.14013E-44");
  EXPECT_EQ(fmt_e(3.4e38f, 25, 6), "             0.340000E+39");
}

TEST(FormatE, ZerosAndNarrowFields) {
  EXPECT_EQ(fmt_e(0.0f, 15, 5), "    0.00000E+00");
  EXPECT_EQ(fmt_e(-0.0f, 15, 5), "   -0.00000E+00");
  EXPECT_EQ(fmt_e(1.0f, 10, 5), ".10000E+01");
  EXPECT_EQ(fmt_e(-1.0f, 11, 5), "-.10000E+01");
  EXPECT_EQ(fmt_e(-1.0f, 10, 5), "**********");
  EXPECT_EQ(fmt_e(-std::numeric_limits<float>::infinity(), 15, 5), "      -Infinity");
}

TEST(FormatI, RightJustifiedOrAsterisks) {
  EXPECT_EQ(fmt_i(-7, 15), "             -7");
  EXPECT_EQ(fmt_i(-12345678, 8), "********");
  EXPECT_EQ(fmt_i(std::numeric_limits<std::int32_t>::min(), 15), "    -2147483648");
  EXPECT_EQ(fmt_i(std::numeric_limits<std::int32_t>::min(), 10), "**********");
}

TEST(FormatList, FixedFormBetweenOneTenthAndOneBillion) {
  EXPECT_EQ(list_real(0.0f), "  0.00000000    ");
  EXPECT_EQ(list_real(10.0f), "  10.0000000    ");
  EXPECT_EQ(list_real(-999.0f), " -999.000000    ");
  EXPECT_EQ(list_real(1e8f), "  100000000.    ");
  EXPECT_EQ(list_real(0.1f), " 0.100000001    ");
}

TEST(FormatList, ExponentFormOutside) {
  EXPECT_EQ(list_real(1.0e9f), "  1.00000000E+09");
  EXPECT_EQ(list_real(0.05f), "  5.00000007E-02");
  EXPECT_EQ(list_real(bits(0x3DCCCCCC)), "  9.99999940E-02");  // the float below 0.1
  EXPECT_EQ(list_real(bits(0x19416D9A)), "  1.00000000E-23");
  EXPECT_EQ(list_real(bits(0xFFC00000)), "             NaN");
  EXPECT_EQ(list_real(-std::numeric_limits<float>::infinity()), "       -Infinity");
}

TEST(FormatList, RecordAndAdjustedValues) {
  const float v[] = {1.0f, 2.0f, -3.0f};
  EXPECT_EQ(list_record(v), "   1.00000000       2.00000000      -3.00000000    ");
  EXPECT_EQ(adj_list(10.0f), "10.0000000");
  EXPECT_EQ(adj_e(1.0f, 15, 5), "0.10000E+01");
  EXPECT_EQ(adj_i(42), "42");
}

TEST(FormatText, UsedPartAndCut) {
  EXPECT_EQ(used_part("  data/ more"), "data/");
  EXPECT_EQ(used_part(std::string(600, 'x')), "");
  EXPECT_EQ(used_part(std::string(700, 'x')), "");
  EXPECT_EQ(cut_text(std::string(599, 'x') + "yz"), std::string(599, 'x') + "y");
  EXPECT_EQ(fmt_a_fixed("abc", 5), "abc  ");
  EXPECT_EQ(fmt_a_fixed("abcdefgh", 3), "abc");
}

}  // namespace
}  // namespace veltrane::textio
