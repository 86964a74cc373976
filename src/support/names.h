// The names the products share, one table each: the photometric systems, the spectrum slots,
// the stellar masses and the suffixes of a galaxy's files. The fixed-width tables, the ECSV
// tables, the catalogue and the Python module all take them from here, so a system added
// here appears everywhere. Each spelling is the one its product has always written.
#pragma once

#include <array>
#include <string_view>

#include "support/limits.h"

namespace veltrane {

// A photometric system of the magnitudes, in the order of the magnitude table.
struct SystemName {
  std::string_view key;     // ECSV columns ("m_obs_vega") and Python's SYSTEMS
  std::string_view column;  // catalogue columns ("MAG_OBS_VEGA")
  std::string_view label;   // the system's own name, as the magnitude routine calls it
  std::string_view about;   // what its zero point is
};
inline constexpr std::array<SystemName, kNumSystems> kSystemNames = {{
    {"vega", "VEGA", "VEGA_std", "Vega at 0"},
    {"vegabg04", "VEGABG04", "VEGABG04", "Vega at 0.026"},
    {"ab", "AB", "ABsystem", "AB"},
    {"tg", "TG", "TGsystem", "BD+17d4708 at 9.5"},
    {"wfpc2", "WFPC2", "WFPC2sys", "WFPC2 zero point -21.1"},
    {"foca", "FOCA", "FOCA_sys", "FOCA zero point -21.175"},
    {"nocalib", "NOCALIB", "NO_calib", "no zero point"},
}};

// A spectrum slot of the magnitude table: the spectra a galaxy is measured in.
struct SlotName {
  std::string_view key;     // ECSV columns ("m_tot_vega")
  std::string_view column;  // catalogue columns ("MAG_TOT_VEGA")
  std::string_view word;    // Python's SLOTS
  std::string_view about;   // the spectrum
};
inline constexpr std::array<SlotName, kNumSlots> kSlotNames = {{
    {"obs", "OBS", "obs", "the cleaned and extended observed spectrum"},
    {"tot", "TOT", "total", "the total model"},
    {"young", "YOUNG", "young", "the young model"},
    {"old", "OLD", "old", "the old model"},
}};

// The log10 stellar masses, in the order of the magnitude table's last six columns.
inline constexpr int kNumMasses = 6;
struct MassName {
  std::string_view key;     // ECSV metadata ("log_mass_total_m3") and Python's MASSES
  std::string_view column;  // catalogue columns ("LOGMASS_TOTAL_M3")
  std::string_view part;    // "total", "young" or "old"
  int column_of_fit;        // the population column it sums: 3 (m3_j) or 2 (m2_j)
};
inline constexpr std::array<MassName, kNumMasses> kMassNames = {{
    {"total_m3", "TOTAL_M3", "total", 3},
    {"total_m2", "TOTAL_M2", "total", 2},
    {"young_m3", "YOUNG_M3", "young", 3},
    {"young_m2", "YOUNG_M2", "young", 2},
    {"old_m3", "OLD_M3", "old", 3},
    {"old_m2", "OLD_M2", "old", 2},
}};

// The suffixes of a galaxy's files, after its directory and name.
inline constexpr std::string_view kMagSuffix = ".MAG.out";       // magnitude table
inline constexpr std::string_view kSpcSuffix = ".SPC.out";       // spectrum table
inline constexpr std::string_view kLogSuffix = ".LOG";           // problem log
inline constexpr std::string_view kMagEcsvSuffix = ".mag.ecsv";  // --ecsv
inline constexpr std::string_view kSpcEcsvSuffix = ".spc.ecsv";

}  // namespace veltrane
