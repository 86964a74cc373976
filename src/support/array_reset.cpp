#include "support/array_reset.h"

#include <algorithm>

#include "support/limits.h"

namespace veltrane {

void reset_to_zero(std::span<float> a) { std::fill(a.begin(), a.end(), 0.0f); }

void reset_to_sentinel(std::span<float> a) { std::fill(a.begin(), a.end(), kSentinel); }

}  // namespace veltrane
