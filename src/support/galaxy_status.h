// The status of one galaxy, the flag its problem reports speak of as IsKeepOn: good when the
// galaxy starts, failed from the first step that fails to the end of the galaxy. Nothing sets
// a failed galaxy back to good, so a step can never hide an earlier failure; the problem of
// the first step that failed is kept as the cause.
#pragma once

#include "support/problem.h"

namespace veltrane {

class GalaxyStatus {
 public:
  bool good() const { return good_; }
  bool failed() const { return !good_; }
  // Fails the galaxy for `why`, which becomes the cause unless the galaxy had failed before.
  void fail(const Problem& why) {
    if (good_) cause_ = why;
    good_ = false;
  }
  // The problem that failed the galaxy (empty while it is good).
  const Problem& cause() const { return cause_; }

 private:
  bool good_ = true;
  Problem cause_;
};

}  // namespace veltrane
