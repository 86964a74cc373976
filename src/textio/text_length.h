// The fixed length of the system's texts (names, directories, codes): 600 characters.
#pragma once

#include <cstddef>

namespace veltrane {

inline constexpr std::size_t kTextLen = 600;

}  // namespace veltrane
