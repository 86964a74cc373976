// Differential tests against tables written by gfortran 12.2 itself
// (tools/gfortran_tables/make_tables.sh; the tables are committed in data/).
// Floats are given by their bits, so nothing here depends on decimal parsing.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

const std::string kData = std::string(VELTRANE_TEST_DATA) + "/textio/data/";

std::vector<std::string> read_lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

float from_bits(const std::string& hex) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16)));
}

std::string to_bits(float x) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", std::bit_cast<std::uint32_t>(x));
  return buf;
}

// The table's escapes: \n \t \r and \\ (what printf %b made of them).
std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else out.push_back(c);
  }
  return out;
}

// "DESC BITS |field|" and "iW VALUE |field|" lines.
TEST(GfortranTables, FormattedOutput) {
  const auto lines = read_lines(kData + "format_output.txt");
  ASSERT_GT(lines.size(), 5000u);
  int checked = 0;
  for (const auto& line : lines) {
    const auto bar = line.find('|');
    ASSERT_NE(bar, std::string::npos) << line;
    const std::string expected = line.substr(bar + 1, line.size() - bar - 2);
    std::istringstream head(line.substr(0, bar));
    std::string desc, value;
    head >> desc >> value;
    std::string got;
    if (desc == "list") {
      got = list_real(from_bits(value));
    } else if (desc == "record") {
      std::string v2, v3;
      head >> v2 >> v3;
      const float vs[3] = {from_bits(value), from_bits(v2), from_bits(v3)};
      got = list_record(vs);
    } else {
      const int w = std::stoi(desc.substr(1));
      if (desc[0] == 'i') {
        got = fmt_i(static_cast<std::int32_t>(std::stol(value)), w);
      } else {
        const int d = std::stoi(desc.substr(desc.find('.') + 1));
        got = desc[0] == 'f' ? fmt_f(from_bits(value), w, d) : fmt_e(from_bits(value), w, d);
      }
    }
    EXPECT_EQ(got, expected) << line;
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(lines.size()));
}

struct ReadCase {
  std::string fmt, spec, text;
  std::vector<std::string> expected;  // "stmt ..." and item lines, in order
};

std::vector<ReadCase> load_read_cases() {
  std::vector<ReadCase> cases;
  for (const auto& line : read_lines(kData + "read_cases.txt")) {
    if (line.rfind("case ", 0) == 0) {
      ReadCase c;
      std::istringstream s(line.substr(5));
      s >> c.fmt >> c.spec;
      cases.push_back(c);
    } else if (line.rfind("in ", 0) == 0) {
      cases.back().text = unescape(line.substr(3));
    } else if (line.rfind("stmt ", 0) == 0 || line.rfind("r ", 0) == 0 ||
               line.rfind("i ", 0) == 0 || line.rfind("a ", 0) == 0) {
      cases.back().expected.push_back(line);
    }
  }
  return cases;
}

std::string status_line(ReadStatus st, const std::string& msg) {
  switch (st) {
    case ReadStatus::ok: return "stmt ok";
    case ReadStatus::end_of_file: return "stmt eof" + (msg.empty() ? "" : " " + msg);
    case ReadStatus::error: return "stmt error" + (msg.empty() ? "" : " " + msg);
  }
  return {};
}

struct Item {
  float r = -12345.0f;
  std::int32_t i = -12345;
  std::string a = "UNCHANGED";
  std::string line(char type) const {
    if (type == 'r') return "r " + to_bits(r);
    if (type == 'i') return "i " + std::to_string(i);
    return "a [" + escape(a) + "]";
  }
};

// What our readers store for one case, in the table's line form. Fixed formats carry no
// message (only the status class is compared).
std::vector<std::string> run_case(const ReadCase& c) {
  std::vector<std::string> got;
  RecordFile file = RecordFile::from_string(c.text);
  std::istringstream specs(c.spec);
  for (std::string st; std::getline(specs, st, '|');) {
    if (c.fmt == "*") {
      ListRead r(file);
      std::vector<Item> items(st.size());
      if (st == "-") r.skip();
      else
        for (std::size_t k = 0; k < st.size(); ++k) {
          if (st[k] == 'r') r.real(items[k].r);
          else if (st[k] == 'i') r.integer(items[k].i);
          else r.text(items[k].a);
        }
      got.push_back(status_line(r.status(), r.message()));
      if (st != "-")
        for (std::size_t k = 0; k < st.size(); ++k) got.push_back(items[k].line(st[k]));
      continue;
    }
    for (char t : st) {
      Item item;
      ReadStatus s = ReadStatus::ok;
      if (c.fmt == "(i15)") s = read_i15(file, item.i);
      else if (c.fmt == "(e15.5)") s = read_e15_5(file, item.r);
      else if (c.fmt == "(a)") s = read_a600(file, item.a);
      else if (c.fmt == "(a1)") {
        char ch = 0;
        s = read_first_char(file, ch);
        if (s == ReadStatus::ok) item.a = ch == ' ' ? "" : std::string(1, ch);
      } else {
        ADD_FAILURE() << "unknown format " << c.fmt;
      }
      got.push_back(status_line(s, ""));
      got.push_back(item.line(t));
    }
  }
  return got;
}

TEST(GfortranTables, Reads) {
  const auto cases = load_read_cases();
  ASSERT_GT(cases.size(), 250u);
  for (const auto& c : cases) {
    std::vector<std::string> expected = c.expected;
    if (c.fmt != "*")  // gfortran's iomsg for fixed fields is not part of our API
      for (auto& e : expected)
        if (e.rfind("stmt ", 0) == 0) e = e.substr(0, e.find(' ', 5));
    EXPECT_EQ(run_case(c), expected) << "case " << c.fmt << " " << c.spec << " on \""
                                     << escape(c.text) << "\"";
  }
}

}  // namespace
}  // namespace veltrane::textio
