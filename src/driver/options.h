// Options, before the positional arguments (which keep their meaning): "-j N" / "--jobs N"
// (models processed at once; 0 for every core), "--literal" (every fast path and the input
// cache off: the reference the fast run is tested against), "--" ends the options.
#pragma once

#include <optional>
#include <string>

namespace veltrane {

struct Options {
  int jobs = 1;
  bool literal = false;
  int first_positional = 1;  // argv index of the first positional argument
};

// nullopt after a message on standard error (wrong use: exit status 2).
std::optional<Options> parse_options(int argc, char** argv);

}  // namespace veltrane
