// The fast path for plain numeric records against the literal reader (ListRead), bit for bit:
// random records of plain and other forms, random digits and exponents, decimal texts whose
// double is exactly a float midpoint, values near FLT_MAX and subnormals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

std::string number(std::mt19937_64& g) {
  if (g() % 5 == 0) {  // any float: subnormals, near FLT_MAX, Inf, NaN
    char b[64];
    const auto any = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(g())));
    std::snprintf(b, sizeof b, g() % 2 ? "%.*e" : "%.*E", static_cast<int>(g() % 12), any);
    return b;
  }
  unsigned long long d = (g() % 10000000000000000000ull) >> (g() % 64);
  int k = static_cast<int>(g() % 99) - 49;
  if (g() % 4 == 0) {  // digits × 10^k whose double is exactly a float midpoint: a rounding trap
    for (double m = double(d = 0); d == 0 || d > (1ull << 53) || double(d) * std::pow(10.0, k) != m;) {
      m = std::ldexp(2.0 * double(0x800000 + g() % 0x7FFFFF) + 1, int(g() % 74) + 30);
      k = 1 + static_cast<int>(g() % 22);
      d = static_cast<unsigned long long>(std::llround(m / std::pow(10.0L, k)));
    }
    return std::to_string(d) + "E" + std::to_string(k);
  }
  std::string s = std::to_string(d);
  if (g() % 2) s.insert(g() % (s.size() + 1), ".");
  if (g() % 2) s += (g() % 2 ? "e" : "E") + std::to_string(k);
  if (g() % 3 == 0) s[g() % s.size()] = "+-.*dDqe'x,/ 0"[g() % 14];  // damaged, mostly not plain
  return (g() % 5 ? "" : "-") + s;
}

TEST(PlainReals, SameAsListRead) {
  const std::string seps[] = {"  ", "\t", " \r ", ",", " ; ", "/", "\n", "\r\n", {'\0'}};
  std::mt19937_64 g(20240611);
  int fast = 0;
  for (int iter = 0; iter < 20000; ++iter) {
    std::string text = g() % 4 ? "" : " ";
    const std::size_t tokens = g() % 7;
    for (std::size_t t = 0; t < tokens; ++t)  // mostly blank-separated
      text += number(g) + (g() % 4 ? " " : seps[g() % std::size(seps)]);
    text += g() % 2 ? "\n9 9\n" : "";  // a next record, or the end of the file right there
    std::vector<float> a(g() % 2 || tokens == 0 ? 1 + g() % 5 : tokens, -12345.0f), b(a);
    RecordFile fa = RecordFile::from_string(text), fb = RecordFile::from_string(text);
    ListRead ra(fa), rb(fb);  // a ListRead reads nothing until asked
    const bool took = read_plain_reals(fa, a);
    ASSERT_TRUE(took || a == b) << "changed before falling back: " << text;
    if (!took)
      for (float& x : a) ra.real(x);  // the literal reader takes over
    for (float& x : b) rb.real(x);
    ASSERT_TRUE(ra.status() == rb.status() && !std::memcmp(&a[0], &b[0], a.size() * 4)) << text;
    std::string_view na = "<end>", nb = na;  // the record after: both consumed the same
    ASSERT_EQ((fa.next_list(na), na), (fb.next_list(nb), nb)) << text;
    fast += took;
  }
  EXPECT_GT(fast, 2000);
}

// Both readers convert short decimals from their digits (small_decimal_to_float); the literal
// recipe, strtof on the C-form text, checks that conversion on its own: random digit strings
// and exponents, float midpoints, subnormals and overflows.
TEST(ListReal, DecimalsAsStrtofReadsThem) {
  std::mt19937_64 g(7);
  int compared = 0;
  for (int iter = 0; iter < 60000; ++iter) {
    const std::string token = number(g);
    if (token.find_first_not_of("0123456789.eE+-") != std::string::npos) continue;
    float v = -12345.0f;
    ListRead r{std::string_view(token)};
    if (r.real(v) != ReadStatus::ok) continue;
    std::string c_form = token;  // a bare exponent sign ("1.5-3") gets its letter
    for (std::size_t i = 1; i < c_form.size(); ++i)
      if ((c_form[i] == '+' || c_form[i] == '-') && c_form[i - 1] != 'e' && c_form[i - 1] != 'E')
        c_form.insert(i++, "e");
    const float want = std::strtof(c_form.c_str(), nullptr);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(v), std::bit_cast<std::uint32_t>(want)) << token;
    ++compared;
  }
  EXPECT_GT(compared, 15000);
  // Decimals of 14 to 16 digits a few double units from a float midpoint, the values a
  // conversion by multiplication could round to the wrong side: in fixed and exponent form,
  // read alone and in a plain record.
  for (int iter = 0; iter < 40000; ++iter) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(0x00800000u + g() % 0x7E800000u));
    const double midpoint = double(f) + (double(std::nextafter(f, INFINITY)) - double(f)) / 2;
    char text[64];
    const int digits = 13 + int(g() % 3);
    std::snprintf(text, sizeof text, g() % 2 ? "%.*e" : "%.*g", digits, midpoint);
    float v = -12345.0f, w = -12345.0f;
    ListRead r{std::string_view(text)};
    if (r.real(v) != ReadStatus::ok) continue;
    RecordFile file = RecordFile::from_string(std::string("  1.0 ") + text + "\n");
    float row[2];
    ASSERT_TRUE(read_plain_reals(file, row)) << text;
    w = row[1];
    const float want = std::strtof(text, nullptr);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(v), std::bit_cast<std::uint32_t>(want)) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(w), std::bit_cast<std::uint32_t>(want)) << text;
  }
}

}  // namespace
}  // namespace veltrane::textio
