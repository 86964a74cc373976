// The sizes of the system's tables and the sentinel of a missing value, shared by every layer.
#pragma once

namespace veltrane {

inline constexpr float kSentinel = -999.0f;  // a missing value, a failed computation
inline constexpr int kMaxSsp = 300;          // SSPs in a base, rows of a population table
inline constexpr int kMaxFilters = 300;      // filters in a filter set
inline constexpr int kMaxPoints = 10000;     // points of a spectrum or a filter curve
inline constexpr int kMaxExtended = 20000;   // points of the cleaned and extended observed spectrum
inline constexpr int kNumSystems = 7;        // photometric systems
inline constexpr int kNumSlots = 4;          // spectrum slots of the magnitude table

}  // namespace veltrane
