// The order test the kernels share.
#pragma once

#include <cstddef>
#include <span>

namespace veltrane {

// True when every element is strictly below the next one (true for fewer than two). A NaN
// breaks the order, since no comparison with it holds.
inline bool strictly_increasing(std::span<const float> x) {
  for (std::size_t k = 0; k + 1 < x.size(); ++k) {
    if (!(x[k] < x[k + 1])) return false;
  }
  return true;
}

}  // namespace veltrane
