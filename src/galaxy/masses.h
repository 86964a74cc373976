// The stellar masses of a galaxy.
#pragma once

#include <array>

#include "galaxy/galaxy.h"

namespace veltrane {

// The six log10 stellar masses (M_sun) of a computed galaxy, in the order of Galaxy::log_mass:
// ((log10(M) − log10 L_sun) + log10 Phyunits) + log10 of 4πd² with `distance` (Mpc) in cm
// when it is positive; -999.0 for a young or old part without mass.
std::array<float, 6> log_masses(const Galaxy& g, float Phyunits, float distance);

}  // namespace veltrane
