#include "support/file_check.h"

#include <sys/stat.h>

#include <string>

#include "support/console.h"
#include "textio/format.h"

namespace veltrane {

bool file_exists(std::string_view filename) {
  const std::string name(textio::trim_right(filename));
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0;
}

void list_existence(Console& console, std::string_view filename, bool exists) {
  // verbatim: the tag names the routine of the fitting code's tools that made this block.
  console.say("[Ver_Dir_Arc]");
  console.say("... filename: " + std::string(textio::adjust_trim(filename)));
  console.say(std::string("... filexist: ") + (exists ? "T" : "F"));
  console.say("[Ver_Dir_Arc]");
}

}  // namespace veltrane
