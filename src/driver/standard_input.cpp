#include "driver/standard_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace veltrane {

struct StandardInputCookie {
  // Waits until file descriptor 0 has bytes, has ended, or the input is interrupted.
  static ssize_t read(void* cookie, char* buf, std::size_t size) {
    const auto* in = static_cast<const StandardInput*>(cookie);
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {in->wake_[0], POLLIN, 0}};
    for (;;) {
      const int ready = ::poll(fds, 2, -1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || fds[1].revents != 0) return 0;   // interrupted: the input ends here
      if ((fds[0].revents & POLLNVAL) != 0) return -1;  // no standard input at all
      const ssize_t got = ::read(STDIN_FILENO, buf, size);
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }
};

StandardInput::StandardInput() {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  stream_ = ::fopencookie(this, "r", {StandardInputCookie::read, nullptr, nullptr, nullptr});
  own_ = stream_ != nullptr;
  if (!own_) stream_ = stdin;  // then a waiting read cannot be interrupted
}

StandardInput::~StandardInput() {
  if (own_) std::fclose(stream_);
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void StandardInput::interrupt() {
  if (wake_[1] >= 0) {
    const char c = 0;
    while (::write(wake_[1], &c, 1) < 0 && errno == EINTR) {}
  }
}

}  // namespace veltrane
