// Array resets: every element to 0.0, or to the sentinel -999.0 (an element without a value).
#pragma once

#include <span>

namespace veltrane {

void reset_to_zero(std::span<float> a);
void reset_to_sentinel(std::span<float> a);

}  // namespace veltrane
