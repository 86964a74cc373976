// The nine run parameters of a grid file or of standard input.
#pragma once

#include <string_view>

#include "driver/state.h"
#include "support/console.h"
#include "support/run_stop.h"
#include "textio/list_input.h"

namespace veltrane {

// Prints `message` (after four blanks) and ends the run with `status` (RunStop): the stops
// of the command line and the run parameters, met before any model.
[[noreturn]] void stop(Console& console, std::string_view message, int status);

// Reads the nine parameter records: N_models (i15), the three directories (a), t_cutGyr
// (free format), Phyunits ((e15.5) in a grid file, free format from standard input),
// Ext_Corr, PrintFil and Fverbose (i15). A record that is missing or cannot be read ends
// the run: "    ... ERROR -> Bad or missing run parameter record", status 1.
void read_parameter_records(Console& console, textio::RecordFile& in, bool grid_file, RunParams& p);
[[noreturn]] void bad_parameter_record(Console& console);

}  // namespace veltrane
