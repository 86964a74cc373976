// The computation of one galaxy on its loaded inputs.
#pragma once

#include "galaxy/galaxy.h"

namespace veltrane {

// Population split, reddening term, normalised SSP sums, scaling (the model spectra reddened,
// or the observation de-reddened), the cleaned and extended observation and the magnitudes of
// the four spectra, into `g`; `session` keeps the filters' bands on the base grid. Sets
// g.rebuilt when it ends. Flow::stop after the report of an extended spectrum with repeated
// wavelengths.
Flow compute_galaxy(ReportContext& report, const GalaxySettings& settings, InputCache::Session& session, Galaxy& g);

}  // namespace veltrane
