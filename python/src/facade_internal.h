// What the facade's sources share and the binding never sees: how a failure is raised, how a
// number is shown in a message, the checks of a directory a run would join file names to, and
// the crossing between subjects (a galaxy's rebuild hands its filter set out as a Filters).
// Included only by facade_*.cpp.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "facade.h"
#include "photometry/filter_set.h"
#include "support/console.h"
#include "textio/text_length.h"

namespace veltrane::facade::detail {

constexpr const char* kList = "ListFilters.txt";  // the list of a filter set, in its directory

// Leaves the facade with Error(kind, what): no file, record or console.
[[noreturn]] inline void fail(Fault kind, const std::string& what) { throw Error(kind, what); }

// A float as its shortest text that reads back to the same value (for messages).
inline std::string show(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// A directory text as a run takes it: used up to its first blank and joined to file names
// without a separator, at most 600 characters with the longest name joined to it. Throws
// Error(value) naming `what` otherwise.
inline void check_directory(const std::string& dir, std::size_t longest_name, const char* what) {
  if (dir.empty() || dir.back() != '/') fail(Fault::value, std::string(what) + " must end with '/': '" + dir + "'");
  if (dir.find_first_of(" \t") != std::string::npos)
    fail(Fault::value,
         std::string(what) + " must not hold a blank (a run reads it up to its first blank): '" + dir + "'");
  if (dir.size() + longest_name > kTextLen)
    fail(Fault::value,
         std::string(what) + " is too long (a run's file names hold at most 600 characters): '" + dir + "'");
}

// A filter directory: the list is the longest name a run joins to it before any curve.
inline void check_filter_directory(const std::string& dir) {
  check_directory(dir, std::strlen(kList), "the filter directory");
}

// The first n values of a kernel's fixed-size array (n clamped to 0..v.size()).
template <class V>
std::vector<typename V::value_type> head(const V& v, int n) {
  return {v.begin(), v.begin() + std::clamp(n, 0, int(v.size()))};
}

// A calibrated set as a Filters. `energy`: the set read with energy weighting, whose curves
// the Filters shows as read (nullptr: `set` itself).
Filters filters_of(std::shared_ptr<const FilterSet> set, Weighting weighting, std::string dir, const FilterSet* energy);

}  // namespace veltrane::facade::detail
