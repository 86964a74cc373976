// The SSP base reader of one model: the base file and every SSP spectrum it lists, checked
// against the fit's range, with the reports and the listing of the base; it leaves the base
// tables (ssp_files.h) for the rebuild.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/ssp_files.h"
#include "support/report.h"
#include "support/run_stop.h"

namespace veltrane {

struct BaseRequest {
  std::string arq_base;       // the base file (base_SSP's used part, then arq_info(2))
  std::string_view base_dir;  // the SSP directory text, used up to its first blank
  float Olsynini = 0.0f;      // fit range, Å
  float Olsynfin = 0.0f;
  int Num_base = 0;  // the synthesis result's SSP count
};

struct BaseRead {
  int Num_base = 0;       // the base file's count (the request's when record 1 holds none)
  bool replaced = false;  // the reading reset the tables: `tables` holds what it read
  std::shared_ptr<const BaseTables> tables;
  Flow flow = Flow::go_on;                // stop: a base or SSP file that cannot be opened
  std::vector<std::string> cut_at_limit;  // SSP files whose reading stopped at kMaxPoints points
  // The base file's columns of the SSPs read, as its listing shows them: -999.0, 0.0 and 0.0
  // from the reset on, for SSPs the reading did not reach.
  std::array<float, kMaxSsp> age_base{}, met_base{}, alphbase{};
};

// Read_BASpec and its ReadTextBAS: reads the base file `arq_base` and every SSP spectrum
// (`base_dir` up to its first blank, then the SSP's file name), checks each spectrum against
// the fit range [Olsynini, Olsynfin]. Every failure prints its report
// (console, and rewriting the model's log) and fails the model; the first one ends the
// reading. A missing base file or an SSP file that cannot be opened also stops the run.
// At Verbosity::listing prints the listing of the base, at Verbosity::points every point.
BaseRead Read_BASpec(ReportContext& report, BaseSource& source, const BaseRequest& request);

}  // namespace veltrane
