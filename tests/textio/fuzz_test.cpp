// Robustness: random bytes (biased towards the characters the readers care about) through
// every reader. Under the ASan+UBSan build this shows that no input makes a reader crash, read
// out of bounds or loop forever; in any build it checks the invariants below.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
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
    for (int stmt = 0; stmt < 5; ++stmt) {
      std::optional<ListRead> r;  // four statements on the file, then the text as one record
      stmt < 4 ? r.emplace(f) : r.emplace(std::string_view(s));
      for (int k = 0; k < 6; ++k) {
        float x = 0.0f;
        std::int32_t n = 0;
        std::string t;
        char c = 0;
        ReadStatus st = r->status();
        switch (rng() % 8) {  // list-directed items, or a fixed-field read of the next record
          case 0: st = r->real(x); break;
          case 1: st = r->integer(n); break;
          case 2: st = r->text(t); break;
          case 3: st = r->skip(); break;
          case 4: read_i15(f, n); break;
          case 5: read_e15_5(f, x); break;
          case 6: read_a600(f, t); break;
          default: read_first_char(f, c);
        }
        ASSERT_EQ(st, r->status());
        ASSERT_LE(t.size(), 600u);
      }
      ASSERT_EQ(r->status() == ReadStatus::ok, r->message().empty());
    }
  }
}

}  // namespace
}  // namespace veltrane::textio
