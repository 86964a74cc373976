#include "driver/parameters.h"

#include <string>

namespace veltrane {

using textio::RecordFile;

[[noreturn]] void stop(Console& console, std::string_view message, int status, Problem problem) {
  console.say(message);
  throw RunStop(status, std::string(message), std::move(problem));
}

[[noreturn]] void bad_parameter_record(Console& console, Problem problem) {
  stop(console, "... ERROR -> Bad or missing run parameter record", 1, std::move(problem));
}

void read_parameter_records(Console& console, RecordFile& in, const std::string& origin, bool grid_file, RunParams& p) {
  if (auto problem = read_run_parameters(in, origin, grid_file, p)) bad_parameter_record(console, std::move(*problem));
}

}  // namespace veltrane
