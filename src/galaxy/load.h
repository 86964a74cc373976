// The inputs of one galaxy, read before anything is computed.
#pragma once

#include <string>

#include "galaxy/galaxy.h"

namespace veltrane {

// The galaxy's tables reset to their sentinels, its synthesis result read, then (when it was)
// the SSP base and, for a galaxy still good, the filter set, the last two through `session`.
// g.tables starts as `before` and takes what the readers replace. Flow::stop after the report
// of a base, SSP or filter-set file that stops the run.
Flow load_galaxy(ReportContext& report, const GalaxySettings& settings, const std::string& arq_synt,
                 InputCache::Session& session, const Carried& before, Galaxy& g);

}  // namespace veltrane
