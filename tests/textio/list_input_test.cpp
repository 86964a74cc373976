// Input, one behaviour per test. Expected values are gfortran 12.2's (fprobe; the bulk
// comparison is in gfortran_tables_test.cpp). Floats are compared by their bits.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "test_util.h"
#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// One list-directed READ of a single real from `text`.
std::pair<ReadStatus, float> read1(const std::string& text) {
  RecordFile f = RecordFile::from_string(text);
  ListRead r(f);
  float v = -12345.0f;
  const ReadStatus s = r.real(v);
  return {s, v};
}

TEST(ListRead, RealForms) {
  const struct {
    const char* text;
    std::uint32_t expected;
  } cases[] = {
      {"1\n", 0x3F800000}, {"1.\n", 0x3F800000},    {".5\n", 0x3F000000},
      {"1e5\n", 0x47C35000}, {"1.0D5\n", 0x47C35000}, {"1.0+5\n", 0x47C35000},
      {"1q5\n", 0x47C35000}, {"-0\n", 0x80000000},   {"-NaN\n", 0xFFC00000},
      {"1e39\n", 0x7F800000}, {"-1e-50\n", 0x80000000}, {"7.1e-46\n", 0x00000001},
      {"1.00000005960464477550\n", 0x3F800001},  // no double rounding
  };
  for (const auto& c : cases) {
    const auto [s, v] = read1(c.text);
    EXPECT_EQ(s, ReadStatus::ok) << c.text;
    EXPECT_EQ(bits(v), c.expected) << c.text;
  }
}

TEST(ListRead, DotAloneIsAnErrorThatStoresZero) {
  RecordFile f = RecordFile::from_string(".\n");
  ListRead r(f);
  float v = 7.0f;
  EXPECT_EQ(r.real(v), ReadStatus::error);
  EXPECT_EQ(bits(v), 0u);
  EXPECT_EQ(r.message(), "Error during floating point read");
}

TEST(ListRead, BadRealLeavesItemAndLaterItemsUnchanged) {
  RecordFile f = RecordFile::from_string("1 x 3\n");
  ListRead r(f);
  float a = 0, b = -1, c = -1;
  r.real(a);
  EXPECT_EQ(r.real(b), ReadStatus::error);
  EXPECT_EQ(r.real(c), ReadStatus::error);
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, -1.0f);
  EXPECT_EQ(c, -1.0f);
  EXPECT_EQ(r.message(), "Bad real number in item 2 of list input");
}

TEST(ListRead, SlashEndsTheStatementWithStatusOk) {
  RecordFile f = RecordFile::from_string("1/2 3\n4\n");
  {
    ListRead r(f);
    float a = 0, b = -1;
    EXPECT_EQ(r.real(a), ReadStatus::ok);
    EXPECT_EQ(r.real(b), ReadStatus::ok);
    EXPECT_EQ(b, -1.0f);
  }
  ListRead next(f);  // the next statement starts at the next record
  float d = 0;
  EXPECT_EQ(next.real(d), ReadStatus::ok);
  EXPECT_EQ(d, 4.0f);
}

TEST(ListRead, CommaOnlySeparatorsAndNulls) {
  RecordFile f = RecordFile::from_string("1,,3\n");
  ListRead r(f);
  float v[3] = {-1, -1, -1};
  for (float& x : v) EXPECT_EQ(r.real(x), ReadStatus::ok);
  EXPECT_EQ(v[0], 1.0f);
  EXPECT_EQ(v[1], -1.0f);
  EXPECT_EQ(v[2], 3.0f);
}

TEST(ListRead, ValueContinuedOnTheNextRecordAndRestOfRecordIgnored) {
  RecordFile f = RecordFile::from_string("gal01\n\n   12.5 extra\nnext 1\n");
  ListRead r(f);
  std::string name;
  float d = 0;
  EXPECT_EQ(r.text(name), ReadStatus::ok);
  EXPECT_EQ(r.real(d), ReadStatus::ok);
  EXPECT_EQ(name, "gal01");
  EXPECT_EQ(d, 12.5f);
  ListRead r2(f);
  EXPECT_EQ(r2.text(name), ReadStatus::ok);
  EXPECT_EQ(name, "next");
}

TEST(ListRead, EndOfFileKeepsTheValuesAlreadyStored) {
  RecordFile f = RecordFile::from_string("1 2");
  ListRead r(f);
  float v[3] = {0, 0, -1};
  r.real(v[0]);
  r.real(v[1]);
  EXPECT_EQ(r.real(v[2]), ReadStatus::end_of_file);
  EXPECT_EQ(v[1], 2.0f);
  EXPECT_EQ(v[2], -1.0f);
  EXPECT_EQ(r.message(), "End of file");
}

TEST(ListRead, RepeatCounts) {
  RecordFile f = RecordFile::from_string("2*7 2* 3*x\n");
  ListRead r(f);
  std::int32_t a = 0, b = 0, c = -1, d = -1;
  std::string t;
  r.integer(a);
  r.integer(b);
  r.integer(c);
  r.integer(d);
  EXPECT_EQ(r.text(t), ReadStatus::ok);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(c, -1);
  EXPECT_EQ(d, -1);
  EXPECT_EQ(t, "x");
  RecordFile z = RecordFile::from_string("0*5\n");
  ListRead rz(z);
  EXPECT_EQ(rz.integer(a), ReadStatus::error);
  EXPECT_EQ(rz.message(), "Zero repeat count in item 1 of list input");
}

TEST(ListRead, QuotedTextKeepsBlanksAndDoubledQuotes) {
  RecordFile f = RecordFile::from_string("'my galaxy  ' \"it\"\"s\" 'span\nned'\n");
  ListRead r(f);
  std::string a, b, c;
  r.text(a);
  r.text(b);
  EXPECT_EQ(r.text(c), ReadStatus::ok);
  EXPECT_EQ(a, "my galaxy");
  EXPECT_EQ(b, "it\"s");
  EXPECT_EQ(c, "spanned");
}

TEST(ListRead, UnquotedTextStopsAtSeparators) {
  for (const char* text : {"abc def\n", "abc,def\n", "abc;def\n", "abc/def\n", "abc\tdef\n",
                           "abc\rdef\n"}) {
    RecordFile f = RecordFile::from_string(text);
    ListRead r(f);
    std::string v;
    EXPECT_EQ(r.text(v), ReadStatus::ok);
    EXPECT_EQ(v, "abc") << text;
  }
}

TEST(ListRead, TextIsCutAt600) {
  RecordFile f = RecordFile::from_string(std::string(700, 'y') + " 5\n");
  ListRead r(f);
  std::string v;
  std::int32_t n = 0;
  r.text(v);
  r.integer(n);
  EXPECT_EQ(v, std::string(600, 'y'));
  EXPECT_EQ(n, 5);
}

TEST(ListRead, IntegerForms) {
  const struct {
    const char* text;
    ReadStatus status;
    std::int32_t value;
  } cases[] = {
      {"+5", ReadStatus::ok, 5},          {"-2147483648", ReadStatus::ok, INT32_MIN},
      {"2147483648", ReadStatus::error, -1}, {"5.", ReadStatus::error, -1},
      {"1e2", ReadStatus::error, -1},     {"- 5", ReadStatus::error, -1},
  };
  for (const auto& c : cases) {
    ListRead r{std::string_view(c.text)};
    std::int32_t v = -1;
    EXPECT_EQ(r.integer(v), c.status) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(ListRead, InternalRecord) {
  float v = 0.0f;
  EXPECT_EQ(ListRead(std::string_view("  12.5  ")).real(v), ReadStatus::ok);
  EXPECT_EQ(v, 12.5f);
  v = 0.0f;
  EXPECT_EQ(ListRead(std::string_view("   ")).real(v), ReadStatus::end_of_file);
  EXPECT_EQ(ListRead(std::string_view("")).real(v), ReadStatus::end_of_file);
  EXPECT_EQ(ListRead(std::string_view("/")).real(v), ReadStatus::ok);  // accepted, no value
  EXPECT_EQ(v, 0.0f);
}

TEST(ListRead, SkipConsumesOneRecord) {
  RecordFile f = RecordFile::from_string("header 1 2\n\n3\n");
  EXPECT_EQ(ListRead(f).skip(), ReadStatus::ok);
  EXPECT_EQ(ListRead(f).skip(), ReadStatus::ok);  // an empty record is a record here
  float v = 0;
  EXPECT_EQ(ListRead(f).real(v), ReadStatus::ok);
  EXPECT_EQ(v, 3.0f);
  EXPECT_EQ(ListRead(f).skip(), ReadStatus::end_of_file);
}

TEST(Records, FormattedAndListDirectedTreatCrDifferently) {
  RecordFile f = RecordFile::from_string("ab\rcd\r\nef\r\r\ngh");
  std::string_view rec;
  std::vector<std::string> got;
  while (f.next_formatted(rec, 600, false)) got.emplace_back(rec);
  EXPECT_EQ(got, (std::vector<std::string>{"ab", "cd", "ef", "", "gh"}));
  RecordFile g = RecordFile::from_string("ab\rcd\r\nef\r\r\ngh");
  got.clear();
  while (g.next_list(rec)) got.emplace_back(rec);
  EXPECT_EQ(got, (std::vector<std::string>{"ab\rcd", "ef\r", "gh"}));
}

TEST(Records, OpenRefusesMissingFilesAndDirectories) {
  vtest::TempDir dir;
  EXPECT_FALSE(RecordFile::open(dir / "missing").has_value());
  EXPECT_FALSE(RecordFile::open(dir.str()).has_value());
  vtest::write_file(dir / "f.txt", "  42\n");
  auto f = RecordFile::open(dir / "f.txt");
  ASSERT_TRUE(f.has_value());
  std::int32_t n = 0;
  EXPECT_EQ(read_i15(*f, n), ReadStatus::ok);
  EXPECT_EQ(n, 42);
  EXPECT_TRUE(f->at_end());
}

TEST(FixedFields, I15) {
  const struct {
    const char* field;
    ReadStatus status;
    std::int32_t value;
  } cases[] = {
      {"  4 2", ReadStatus::ok, 42},       {" - 42", ReadStatus::ok, -42},
      {"", ReadStatus::ok, 0},             {"1 2", ReadStatus::ok, 12},
      {"          -2147483648", ReadStatus::ok, -2147},  // only 15 columns
      {"1,5", ReadStatus::ok, 1},          {"1.5", ReadStatus::error, -1},
      {"abc", ReadStatus::error, -1},      {"\t42", ReadStatus::error, -1},
      {"-", ReadStatus::error, -1},        {"2147483648", ReadStatus::error, -1},
  };
  for (const auto& c : cases) {
    std::int32_t v = -1;
    EXPECT_EQ(parse_i15(c.field, v), c.status) << c.field;
    EXPECT_EQ(v, c.value) << c.field;
  }
}

TEST(FixedFields, E15_5ImpliedDecimalPoint) {
  const struct {
    const char* field;
    std::uint32_t expected;
  } cases[] = {
      {"1", 0x3727C5AC},        // a grid Phyunits of "1" is 1.0E-5
      {"1.", 0x3F800000},       {"1E17", 0x5368D4A5},  // scaled: 1.0E12
      {"1.0E17", 0x5BB1A2BC},   {"1.5 E 3", 0x44BB8000}, {"15-3", 0x34210FB0},
      {"   ", 0x00000000},      {"-E3", 0x80000000},   {"  -Infinity", 0xFF800000},
      {"99999999999999999", 0x501502F9},                // first 15 columns, then 1e-5
  };
  for (const auto& c : cases) {
    float v = -1.0f;
    EXPECT_EQ(parse_e15_5(c.field, v), ReadStatus::ok) << c.field;
    EXPECT_EQ(bits(v), c.expected) << c.field;
  }
  float v = -1.0f;
  for (const char* bad : {"1E", "1.5e1.5", "1.5\t", "nanx"})
    EXPECT_EQ(parse_e15_5(bad, v), ReadStatus::error) << bad;
  EXPECT_EQ(v, -1.0f);
}

TEST(FixedFields, ATextAndFirstCharacter) {
  RecordFile f = RecordFile::from_string("  hello world  \r\n" + std::string(700, 'z') + "\n\n");
  std::string t;
  EXPECT_EQ(read_a600(f, t), ReadStatus::ok);
  EXPECT_EQ(t, "  hello world");
  EXPECT_EQ(read_a600(f, t), ReadStatus::ok);
  EXPECT_EQ(t, std::string(600, 'z'));
  char c = 'x';
  EXPECT_EQ(read_first_char(f, c), ReadStatus::ok);
  EXPECT_EQ(c, ' ');
  EXPECT_EQ(read_first_char(f, c), ReadStatus::end_of_file);
  EXPECT_EQ(read_a600(f, t), ReadStatus::end_of_file);
  EXPECT_EQ(t, std::string(600, 'z'));
}

}  // namespace
}  // namespace veltrane::textio
