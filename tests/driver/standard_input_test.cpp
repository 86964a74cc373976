// Standard input through StandardInput: the bytes of file descriptor 0 as they come, and a
// read waiting for a line that never comes ends when the input is interrupted, as the
// parallel run's reader does once the run needs no more records. Should the interruption
// not reach the waiting read, the test hangs until ctest's time limit.
#include "driver/standard_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;

TEST(StandardInput, AWaitingReadEndsWhenTheInputIsInterrupted) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const int saved = ::dup(STDIN_FILENO);
  ASSERT_EQ(::dup2(pipe_fds[0], STDIN_FILENO), STDIN_FILENO);
  {
    StandardInput input;
    // A whole record, then the start of the next; the writer stays open.
    ASSERT_EQ(::write(pipe_fds[1], "gal01 45.0\ngal02", 16), 16);
    textio::RecordFile records = textio::RecordFile::from_stream(input.stream());
    std::string name;
    float distance = 0.0f;
    ListRead first(records);
    EXPECT_EQ(first.text(name), ReadStatus::ok);
    EXPECT_EQ(first.real(distance), ReadStatus::ok);
    EXPECT_EQ(name, "gal01");
    EXPECT_EQ(distance, 45.0f);

    ReadStatus second = ReadStatus::error, third = ReadStatus::error;
    std::thread reader([&] {
      ListRead r(records);  // waits for the end of "gal02..."
      second = r.text(name);
      third = ListRead(records).text(name);
    });
    input.interrupt();
    reader.join();
    // What had come stays: the cut record is the last one, then the input ends.
    EXPECT_EQ(second, ReadStatus::ok);
    EXPECT_EQ(name, "gal02");
    EXPECT_EQ(third, ReadStatus::end_of_file);
  }
  ::dup2(saved, STDIN_FILENO);
  for (int fd : {saved, pipe_fds[0], pipe_fds[1]}) ::close(fd);
}

}  // namespace
}  // namespace veltrane
