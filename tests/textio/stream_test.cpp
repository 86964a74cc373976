// Standard input is read as records are asked for: a record is available as soon as its line
// has arrived, while the writer keeps the input open (reading on to the end of the input would
// block for ever). What the reads store is checked by the gfortran tables, streamed too.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "textio/list_input.h"

namespace veltrane::textio {
namespace {

TEST(Stream, RecordsArriveBeforeTheInputEnds) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::FILE* in = ::fdopen(fds[0], "r");
  ASSERT_NE(in, nullptr);
  RecordFile f = RecordFile::from_stream(in);
  const auto send = [&](const std::string& text) {
    ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  };
  std::int32_t n = 0;
  std::string name;
  float d = 0.0f;
  send("         7\r\n");
  EXPECT_EQ(read_i15(f, n), ReadStatus::ok);
  send("gal01,\n 3.5 rest\n");  // a statement that goes on into the next line
  ListRead r(f);
  EXPECT_EQ(r.text(name), ReadStatus::ok);
  EXPECT_EQ(r.real(d), ReadStatus::ok);
  send("'a quoted\nname' 2\n");  // a string that goes on into the next line
  ListRead q(f);
  EXPECT_EQ(q.text(name), ReadStatus::ok);
  EXPECT_EQ(q.integer(n), ReadStatus::ok);
  ::close(fds[1]);
  EXPECT_EQ((std::tuple{name, n, d}), (std::tuple{std::string("a quotedname"), 2, 3.5f}));
  EXPECT_EQ(ListRead(f).skip(), ReadStatus::end_of_file);
  std::fclose(in);
}

}  // namespace
}  // namespace veltrane::textio
