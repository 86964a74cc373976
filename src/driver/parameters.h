// The nine run parameters of a grid file or of standard input.
#pragma once

#include <string_view>

#include "driver/state.h"
#include "readers/run_parameters.h"
#include "support/console.h"
#include "support/run_stop.h"
#include "textio/list_input.h"

namespace veltrane {

// Prints `message` (after four blanks) and ends the run with `status` and `problem`
// (RunStop): the stops of the command line and the run parameters, met before any galaxy.
[[noreturn]] void stop(Console& console, std::string_view message, int status, Problem problem = {});

// Reads the nine parameter records of `in` (named `origin`: the grid file or "standard
// input"; see read_run_parameters). A record that is missing or cannot be read ends the run:
// "    ... ERROR -> Bad or missing run parameter record", status 1, and the problem.
void read_parameter_records(Console& console, textio::RecordFile& in, const std::string& origin, bool grid_file,
                            RunParams& p);
[[noreturn]] void bad_parameter_record(Console& console, Problem problem);

}  // namespace veltrane
