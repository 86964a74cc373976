// The text layer on an input "PROGRAM<TAB>TEXT" (no TAB: the program "rria|-"). TEXT is the
// file; PROGRAM reads it: r, i, a are list-directed items of the current statement, | starts
// the next statement, - is a statement with no items; I, E, A, C are one formatted read each
// ((i15), (e15.5), (a), the first character). Checked: each status agrees with the
// statement's, a failed statement has a message, texts hold at most 600 characters; TEXT
// streamed (as standard input is) reads the same; the list-directed writer's fields and
// records of floats made of the input's bytes read back bit for bit (a NaN as a NaN), and the
// fast writers give the literal writers' bytes for them (list-directed, e15.5, f15.5, f10.1).
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "fuzz_util.h"
#include "textio/format.h"
#include "textio/list_input.h"

using namespace veltrane::textio;
using vfuzz::check;

namespace {

// Runs the program; returns every status and value read, in order.
std::string run(RecordFile& f, std::string_view program) {
  std::string trace;
  std::optional<ListRead> stmt;
  for (char op : program) {
    float x = 0;
    std::int32_t n = 0;
    std::string t;
    char c = 0;
    ReadStatus s = ReadStatus::ok;
    if (op == 'r' || op == 'i' || op == 'a' || op == '-') {
      if (op == '-') stmt.reset();
      if (!stmt) stmt.emplace(f);
      s = op == 'r' ? stmt->real(x) : op == 'i' ? stmt->integer(n) : op == 'a' ? stmt->text(t) : stmt->skip();
      check(s == stmt->status() && (s == ReadStatus::ok) == stmt->message().empty(), "statement status");
      if (op == '-') stmt.reset();
    } else {
      stmt.reset();
      s = op == 'I'   ? read_i15(f, n)
          : op == 'E' ? read_e15_5(f, x)
          : op == 'A' ? read_a600(f, t)
          : op == 'C' ? read_first_char(f, c)
                      : s;
    }
    check(t.size() <= 600, "text length");
    trace += std::to_string(int(s)) + ' ' + std::to_string(std::bit_cast<std::uint32_t>(x)) + ' ' + std::to_string(n) +
             ' ' + c + t + '\n';
  }
  return trace;
}

bool same(float a, float b) {
  return std::isnan(a) ? std::isnan(b) : std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = vfuzz::text_of(data, size);
  const std::size_t tab = in.find('\t');
  const std::string program = tab == in.npos ? "rria|-" : in.substr(0, tab);
  std::string text = tab == in.npos ? in : in.substr(tab + 1);

  RecordFile whole = RecordFile::from_string(text);
  const std::string trace = run(whole, program);
  if (std::FILE* stream = fmemopen(text.data(), text.size(), "r")) {
    RecordFile streamed = RecordFile::from_stream(stream);
    check(run(streamed, program) == trace, "streamed input reads the same");
    std::fclose(stream);
  }

  std::int32_t n = 0;
  float x = 0;
  std::string t;
  parse_i15(text, n), parse_e15_5(text, x);
  ListRead internal{std::string_view(text)};
  internal.real(x), internal.integer(n), internal.text(t);
  check(t.size() <= 600, "internal text length");

  std::vector<float> values(std::min<std::size_t>(size / 4, 64));
  if (!values.empty()) std::memcpy(values.data(), data, values.size() * 4);
  RecordFile written = RecordFile::from_string(list_record(values) + '\n');
  ListRead record(written);
  for (float v : values) {
    float field = 0, from_record = 0;
    check(ListRead(list_real(v)).real(field) == ReadStatus::ok && same(v, field), "list_real reads back");
    check(record.real(from_record) == ReadStatus::ok && same(v, from_record), "list_record reads back");
    check(list_real(v) == detail::list_real_literal(v) && fmt_e(v, 15, 5) == detail::fmt_e_literal(v, 15, 5) &&
              fmt_f(v, 15, 5) == detail::fmt_f_literal(v, 15, 5) && fmt_f(v, 10, 1) == detail::fmt_f_literal(v, 10, 1),
          "the fast writers write what the literal writers write");
  }
  return 0;
}
