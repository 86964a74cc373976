// Standard input is read as records are asked for: a record is available as soon as its line
// has arrived, while the writer keeps the input open.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "textio/list_input.h"

namespace {

using veltrane::textio::ListRead;
using veltrane::textio::ReadStatus;
using veltrane::textio::RecordFile;

TEST(Stream, RecordsArriveBeforeTheInputEnds) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::FILE* in = ::fdopen(fds[0], "r");
  ASSERT_NE(in, nullptr);
  RecordFile f = RecordFile::from_stream(in);

  auto send = [&](const std::string& text) {
    ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  };
  // With the write end still open, reading to the end of the input would block for ever.
  send("         7\r\n");
  std::int32_t n = 0;
  EXPECT_EQ(veltrane::textio::read_i15(f, n), ReadStatus::ok);
  EXPECT_EQ(n, 7);

  send("gal01,\n");
  send(" 3.5 rest\nnext 1\n");
  {
    ListRead r(f);
    std::string name;
    float d = 0.0f;
    EXPECT_EQ(r.text(name), ReadStatus::ok);
    EXPECT_EQ(r.real(d), ReadStatus::ok);  // continues on the next line
    EXPECT_EQ(name, "gal01");
    EXPECT_EQ(d, 3.5f);
  }
  send("'a quoted\nname' 2\n");
  ::close(fds[1]);
  {
    ListRead r(f);
    std::string name;
    EXPECT_EQ(r.text(name), ReadStatus::ok);
    EXPECT_EQ(name, "next");
  }
  {
    ListRead r(f);
    std::string name;
    std::int32_t k = 0;
    EXPECT_EQ(r.text(name), ReadStatus::ok);
    EXPECT_EQ(r.integer(k), ReadStatus::ok);
    EXPECT_EQ(name, "a quotedname");
    EXPECT_EQ(k, 2);
  }
  {
    ListRead r(f);
    EXPECT_EQ(r.skip(), ReadStatus::end_of_file);
  }
  std::fclose(in);
}

}  // namespace
