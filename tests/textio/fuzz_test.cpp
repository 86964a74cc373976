// Robustness: random bytes (biased towards the characters the readers care about) through
// every read type. Run under the ASan+UBSan build, this shows that no input makes a reader
// crash, read out of bounds or loop forever; in any build it checks the invariants below.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

std::string random_text(std::mt19937& rng, std::size_t max_len) {
  static const char alphabet[] = " \t\r\n,;/*'\"().+-0123456789eEdDqQnaifNAIF_x";
  std::uniform_int_distribution<std::size_t> len(0, max_len);
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_int_distribution<std::size_t> from_alphabet(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s(len(rng), ' ');
  for (char& c : s)
    c = pick(rng) == 0 ? static_cast<char>(byte(rng)) : alphabet[from_alphabet(rng)];
  return s;
}

TEST(Fuzz, ListDirectedReadsOfRandomRecords) {
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<int> type(0, 3);
  for (int iter = 0; iter < 20000; ++iter) {
    RecordFile f = RecordFile::from_string(random_text(rng, 80));
    for (int stmt = 0; stmt < 4; ++stmt) {
      ListRead r(f);
      ReadStatus last = ReadStatus::ok;
      for (int k = 0; k < 6; ++k) {
        float x = 0;
        std::int32_t n = 0;
        std::string t;
        switch (type(rng)) {
          case 0: last = r.real(x); break;
          case 1: last = r.integer(n); break;
          case 2:
            last = r.text(t);
            ASSERT_LE(t.size(), 600u);
            break;
          default: last = r.skip(); break;
        }
        ASSERT_EQ(last, r.status());
      }
      if (last != ReadStatus::ok) {
        ASSERT_FALSE(r.message().empty());
      }
    }
  }
}

TEST(Fuzz, InternalAndFixedReadsOfRandomText) {
  std::mt19937 rng(7);
  for (int iter = 0; iter < 20000; ++iter) {
    const std::string s = random_text(rng, 40);
    float x = 0;
    std::int32_t n = 0;
    std::string t;
    ListRead a{std::string_view(s)};
    a.real(x);
    a.integer(n);
    a.text(t);
    parse_i15(s, n);
    parse_e15_5(s, x);
    RecordFile f = RecordFile::from_string(s);
    read_i15(f, n);
    read_e15_5(f, x);
    read_a600(f, t);
    char c = 0;
    read_first_char(f, c);
    ASSERT_LE(t.size(), 600u);
  }
}

TEST(Fuzz, LongRecordsAndUnterminatedStrings) {
  std::mt19937 rng(99);
  for (int iter = 0; iter < 200; ++iter) {
    std::string s = random_text(rng, 5000);
    s.insert(s.begin(), '\'');
    RecordFile f = RecordFile::from_string(s);
    ListRead r(f);
    std::string t;
    r.text(t);
    ASSERT_LE(t.size(), 600u);
    float x = 0;
    r.real(x);
  }
}

}  // namespace
}  // namespace veltrane::textio
