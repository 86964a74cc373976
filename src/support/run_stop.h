// How a run ends before its last model. A step that meets a run-ending condition (a missing
// base, SSP or filter-set file, an extended spectrum with repeated wavelengths) prints its
// report and returns Flow::stop; it never ends the run itself. The run ends where the driver
// knows it does: while it reads the command line and the run parameters, and in the model
// loop when it commits a model that stopped or whose files cannot be written, or meets a bad
// galaxy record. There, and only there, RunStop is thrown; run_main returns its status.
#pragma once

#include <stdexcept>
#include <string>

#include "support/problem.h"

namespace veltrane {

enum class Flow {
  go_on,  // the run goes on (the model may have failed: see GalaxyStatus)
  stop,   // the run ends after this model's report
};

class RunStop : public std::runtime_error {
 public:
  // `problem`: what stopped the run, for standard error (no reason: nothing more to say, or
  // said already).
  explicit RunStop(int status, const std::string& why = "run stopped", Problem problem = {})
      : std::runtime_error(why), status_(status), problem_(std::move(problem)) {}
  int status() const noexcept { return status_; }
  const Problem& problem() const noexcept { return problem_; }

 private:
  int status_;
  Problem problem_;
};

}  // namespace veltrane
