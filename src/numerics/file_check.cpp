#include "numerics/file_check.h"

#include <sys/stat.h>

#include <string>

#include "numerics/console.h"
#include "textio/format.h"

namespace veltrane {

bool Ver_Dir_Arc(Console& console, std::string_view filename, int verbose) {
  const std::string name(textio::trim_right(filename));
  struct stat st {};
  const bool exists = !name.empty() && ::stat(name.c_str(), &st) == 0;
  if (verbose == 1) {
    console.say("[Ver_Dir_Arc]");
    console.say("... filename: " + std::string(textio::adjust_trim(filename)));
    console.say(std::string("... filexist: ") + (exists ? "T" : "F"));
    console.say("[Ver_Dir_Arc]");
  }
  return exists;
}

}  // namespace veltrane
