// A galaxy's numbers as the texts a run writes: the magnitude table ".MAG.out", the spectrum
// table ".SPC.out", their ECSV forms, and the report of a galaxy that failed without a log
// of its own. Texts only: the driver writes them.
#pragma once

#include <string>
#include <vector>

#include "galaxy/galaxy.h"
#include "support/console.h"
#include "support/problem_log.h"
#include "support/report.h"

namespace veltrane {

// What names a galaxy in the metadata of its ECSV tables.
struct GalaxyLabel {
  std::string name;       // as read (its used part is the galaxy's name)
  std::string arq_synt;   // its synthesis result
  float distance = 0.0f;  // Mpc
};

// The console lines that open a galaxy: its synthesis result, and its distance when the run
// echoes its parameters.
void say_galaxy_header(Console& console, const GalaxyLabel& label, Verbosity verbosity);

// The texts of a galaxy's tables; `mag` and `spc` say which are to be written. Formatting
// into the same TableTexts again reuses its buffers.
struct TableTexts {
  bool mag = false, spc = false;
  std::string mag_text, spc_text, mag_ecsv, spc_ecsv;
  std::vector<float> spc_values;  // the spectrum table's values, record by record (scratch)
};

// ".MAG.out" (PrintFil ≥ 1) and ".SPC.out" (PrintFil ≥ 2) of a computed galaxy, with their
// ECSV forms (tables/ecsv.h) when `ecsv`, into `out` (every text it does not write is left
// empty); the warning of a galaxy without a distance goes to `console`. `literal`: each
// list-directed real of the spectrum table through snprintf (the reference of the fast
// writer).
void format_tables(Console& console, int PrintFil, bool ecsv, const Galaxy& g, const GalaxyLabel& label,
                   TableTexts& out, bool literal = false);

// ".MAG.out" into `out` (replacing what it held): one row per filter of g.tables.filters
// (filter name, coverage, effective wavelength, zero point, the four magnitudes in the Vega
// system, their differences, the six log masses), in fixed-width fields.
void magnitude_table(const Galaxy& g, std::string& out);
// ".SPC.out" into `out` (replacing what it held): one list-directed record of nine reals per
// point of the base grid; `values` is the scratch that holds them first.
void spectrum_table(const Galaxy& g, std::string& out, std::vector<float>& values, bool literal = false);

// The report a galaxy that failed without a log of its own gets at its end, dated now.
ProblemLog end_of_galaxy_report();

}  // namespace veltrane
