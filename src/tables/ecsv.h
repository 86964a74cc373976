// A galaxy's tables as ECSV (astropy's Enhanced CSV): a YAML header of named, typed and
// documented columns, then one row per record.
#pragma once

#include <string>

#include "tables/tables.h"

namespace veltrane {

// The magnitude table with every system and slot (columns "m_<slot>_<system>", the names of
// support/names.h), the masses and the galaxy in the metadata; -999.0 as a masked value.
std::string magnitude_ecsv(const Galaxy& g, const GalaxyLabel& label);
// The spectrum table, every column to its own length.
std::string spectrum_ecsv(const Galaxy& g, const GalaxyLabel& label);

}  // namespace veltrane
