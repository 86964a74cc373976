// The status of one model, the flag its problem reports speak of as IsKeepOn: good when the
// model starts, failed from the first step that fails to the end of the model. Nothing sets
// a failed model back to good, so a step can never hide an earlier failure.
#pragma once

namespace veltrane {

class GalaxyStatus {
 public:
  bool good() const { return good_; }
  bool failed() const { return !good_; }
  void fail() { good_ = false; }

 private:
  bool good_ = true;
};

}  // namespace veltrane
