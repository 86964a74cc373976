// Whether a file exists (the test never opens it), and the listing of such a test.
#pragma once

#include <string_view>

namespace veltrane {

class Console;

// True when a file of that name (trailing blanks ignored) exists.
bool file_exists(std::string_view filename);

// The "[Ver_Dir_Arc]" block of an existence test: the name, then T or F.
void list_existence(Console& console, std::string_view filename, bool exists);

}  // namespace veltrane
