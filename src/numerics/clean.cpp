#include "numerics/clean.h"

#include <algorithm>

#include "numerics/common.h"

namespace veltrane {

void CleanAClear(std::span<float> a, int mode) {
  std::fill(a.begin(), a.end(), mode == 1 ? kSentinel : 0.0f);
}

void CleanMClear(std::span<float> m) { std::fill(m.begin(), m.end(), kSentinel); }

}  // namespace veltrane
