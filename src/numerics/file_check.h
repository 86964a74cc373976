// File existence test (never opens the file).
#pragma once

#include <string_view>

namespace veltrane {

class Console;

// True when a file of that name (trailing blanks ignored) exists. With verbose == 1 prints
// the "[Ver_Dir_Arc]" block (name, then T or F).
bool Ver_Dir_Arc(Console& console, std::string_view filename, int verbose = 0);

}  // namespace veltrane
