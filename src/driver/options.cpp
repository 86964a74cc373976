#include "driver/options.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

namespace veltrane {
namespace {

std::optional<Options> misuse(const std::string& message) {
  std::fprintf(stderr, "veltrane: %s\n", message.c_str());
  return std::nullopt;
}

}  // namespace

std::optional<Options> parse_options(int argc, char** argv) {
  Options o;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a.size() < 2 || a[0] != '-') break;  // a positional argument (or "-", or empty)
    if (a == "--") {
      ++i;
      break;
    }
    if (a == "--literal") {
      o.literal = true;
    } else if (a == "-j" || a == "--jobs" || a.starts_with("-j") || a.starts_with("--jobs=")) {
      std::string_view v = a == "-j" || a == "--jobs" ? (i + 1 < argc ? argv[++i] : "")
                           : a.starts_with("--jobs=") ? a.substr(7) : a.substr(2);
      int n = -1;
      const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < 0 || n > 1024)
        return misuse("-j needs a number of jobs from 0 (every core) to 1024, not '" + std::string(v) + "'");
      o.jobs = n == 0 ? int(std::max(1u, std::thread::hardware_concurrency())) : n;
    } else {
      return misuse("unknown option '" + std::string(a) + "' (options come before the positional arguments)");
    }
  }
  o.first_positional = i;
  return o;
}

}  // namespace veltrane
