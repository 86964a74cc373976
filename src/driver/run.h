// The run driver: parameters from standard input, a grid file or the command line, then
// the galaxy loop. Returns the process exit status.
#pragma once

namespace veltrane {

int run_main(int argc, char** argv);

}  // namespace veltrane
