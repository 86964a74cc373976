// Robustness: random bytes (biased towards the characters the readers care about) through
// every reader. Under the ASan+UBSan build this shows that no input makes a reader crash, read
// out of bounds or loop forever; in any build it checks the invariants below.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

std::string random_text(std::mt19937& rng, std::size_t max_len) {
  static const char alphabet[] = " \t\r\n,;/*'\"().+-0123456789eEdDqQnaifNAIF_x\0";  // and NUL
  std::string s(rng() % (max_len + 1), ' ');
  for (char& c : s)
    c = rng() % 10 == 0 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof alphabet - 1)];
  return s;
}

TEST(Fuzz, RandomRecordsThroughEveryReader) {
  std::mt19937 rng(20240601);
  for (int iter = 0; iter < 20000; ++iter) {
    // Now and then a long text opening with a quote: a string that never ends.
    const std::string s = iter % 100 ? random_text(rng, 80) : '\'' + random_text(rng, 5000);
    RecordFile f = RecordFile::from_string(s);
    float x = 0;
    std::int32_t n = 0;
    std::string t;
    for (int stmt = 0; stmt < 4; ++stmt) {
      ListRead r(f);
      for (int k = 0; k < 6; ++k) {
        const unsigned type = rng() % 4;
        const ReadStatus st = type == 0   ? r.real(x)
                              : type == 1 ? r.integer(n)
                              : type == 2 ? r.text(t)
                                          : r.skip();
        ASSERT_EQ(st, r.status());
        ASSERT_LE(t.size(), 600u);
      }
      ASSERT_EQ(r.status() == ReadStatus::ok, r.message().empty());
    }
    ListRead internal{std::string_view(s)};
    internal.real(x);
    internal.integer(n);
    internal.text(t);
    RecordFile g = RecordFile::from_string(s);
    char c = 0;
    read_i15(g, n);
    read_e15_5(g, x);
    read_a600(g, t);
    read_first_char(g, c);
    ASSERT_LE(t.size(), 600u);
  }
}

}  // namespace
}  // namespace veltrane::textio
