// Array resets: 0.0 or the sentinel -999.0 (an element that holds no value).
#pragma once

#include <span>

namespace veltrane {

// Every element to -999.0 when `mode` is 1, to 0.0 otherwise.
void CleanAClear(std::span<float> a, int mode = 0);
// Every element of a matrix (any layout) to -999.0.
void CleanMClear(std::span<float> m);

}  // namespace veltrane
