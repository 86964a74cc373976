// Standard input as a stream whose reads can be interrupted: a run that ends before its
// last galaxy record arrives (a stop, or the records of a shard already read) wakes the
// thread that waits for the next line, which then sees the end of the input.
#pragma once

#include <cstdio>

namespace veltrane {

class StandardInput {
 public:
  StandardInput();
  ~StandardInput();
  StandardInput(const StandardInput&) = delete;
  StandardInput& operator=(const StandardInput&) = delete;

  // The stream to read (the bytes of file descriptor 0, unchanged).
  std::FILE* stream() const { return stream_; }
  // Every read from now on, a waiting one included, meets the end of the input.
  void interrupt();

 private:
  friend struct StandardInputCookie;
  std::FILE* stream_ = nullptr;
  bool own_ = false;
  int wake_[2] = {-1, -1};  // a pipe: written once by interrupt()
};

}  // namespace veltrane
