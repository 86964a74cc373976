// Shared by the fuzz targets: the input as text, cut into parts, and a check that aborts
// (so that libFuzzer and the replay both report a broken property).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vfuzz {

inline std::string text_of(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every `sep` (n separators give n + 1 parts).
inline std::vector<std::string> split(std::string_view in, char sep) {
  std::vector<std::string> parts(1);
  for (char c : in)
    if (c == sep) parts.emplace_back();
    else parts.back() += c;
  return parts;
}

inline void check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "property broken: %s\n", what), std::abort();
}

}  // namespace vfuzz
