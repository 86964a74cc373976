// Limits, sentinels and the run-ending signal shared by every subsystem.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "textio/text_length.h"

namespace veltrane {

inline constexpr float kSentinel = -999.0f;    // a missing value, a failed computation
inline constexpr int kMaxSsp = 300;            // SSPs in a base, rows of a population table
inline constexpr int kMaxFilters = 300;        // filters in a filter set
inline constexpr int kMaxPoints = 10000;       // points of a spectrum or a filter curve
inline constexpr int kMaxExtended = 20000;     // points of the cleaned and extended observed spectrum
inline constexpr int kNumSystems = 7;          // photometric systems
inline constexpr int kNumSlots = 4;            // spectrum slots of the magnitude table

// Thrown after a run-ending report has been printed; main() exits with `status`.
// Only run-ending stops use it: a failed model is marked through IsKeepOn instead.
class RunStop : public std::runtime_error {
 public:
  explicit RunStop(int status, const std::string& why = "run stopped")
      : std::runtime_error(why), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

}  // namespace veltrane
