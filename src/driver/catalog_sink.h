// The survey catalogue of a run (--catalog FILE.fits): one row per galaxy of the run's block,
// appended in galaxy order by the committing thread as the galaxies are committed, skipped or
// end the run; the FITS file itself is the catalogue layer's (catalog/writer.h).
//
// With --skip-existing a catalogue already at the name is continued: it must be of this run
// (program version, grid file's content, number of galaxies, shard, directories, age cut,
// Phyunits, Ext_Corr, column widths, spectra, and the filter set's files unchanged), or the run
// is refused before any galaxy, the file left as it is. Its processed rows are carried into the
// new catalogue unchanged and their galaxies skipped, so a survey interrupted at any point
// ends, after one restart or more, with one complete catalogue.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/reader.h"
#include "catalog/writer.h"
#include "driver/galaxy_loop.h"
#include "support/console.h"
#include "support/diagnostics.h"

namespace veltrane {

class CatalogSink : public CommitListener {
 public:
  struct Setup {
    std::string path;
    catalog::Provenance provenance;
    catalog::Layout layout;
    bool continue_existing = false;  // --skip-existing
  };

  // Checks what stands at the name and a catalogue to continue, then creates the new one's
  // temporary file. A file that is neither empty nor a Veltrane catalogue (a grid file named
  // by a slip, another program's FITS table), or a catalogue that cannot be continued: the
  // reason on standard error, RunStop(1), nothing written. A temporary file that cannot be
  // created: "    ... ERROR -> Cannot write PATH" on the console, the file and the system's
  // reason on standard error, RunStop(1).
  CatalogSink(Console& console, Diagnostics& diagnostics, Setup setup);

  Flow committed(const GalaxyJob& job, const GalaxyOutcome& outcome) override;
  Flow skipped(const GalaxyJob& job) override;
  void stopped_at(const GalaxyJob& job) override;
  std::optional<bool> holds(const GalaxyJob& job) const override;

  // Completes the catalogue with the rows appended so far and gives it its name; later calls
  // return the first one's answer. False after "    ... ERROR -> Cannot write PATH" on the
  // console and "veltrane: PATH: cannot be written: REASON" on standard error, as a table
  // says it (said once, whichever call failed).
  bool finish() override;
  std::string finishing() const override { return "finishing its catalogue " + path_; }

 private:
  Flow append(const catalog::GalaxyRow& row);
  // The catalogue's description of `set` (hashes its files once per set).
  const catalog::FilterSetInfo* filter_info(const std::shared_ptr<const FilterSet>& set);
  void open_existing(Diagnostics& diagnostics, const Setup& setup);
  // The writer's failure on standard error, once.
  void say_failure();

  Console& console_;
  Diagnostics& diagnostics_;
  std::string path_;
  std::string fil_dir_;  // used part
  std::unique_ptr<catalog::CatalogWriter> writer_;
  bool reported_ = false;  // "Cannot write" on the console
  bool said_ = false;      // the reason on standard error
  std::optional<bool> finished_;
  // The catalogue continued: the file row of each grid row's processed row (0: none), and
  // for galaxies not read from a grid file, the names those rows hold.
  std::optional<catalog::CatalogReader> existing_;
  std::vector<long long> existing_row_;
  std::vector<std::string> existing_name_;
  // The last filter set described.
  std::shared_ptr<const FilterSet> described_;
  catalog::FilterSetInfo info_;
};

// The identity and calibration of `set`, read from the filter directory `fil_dir` (used part):
// SHA-256 of the list and the filter files, of the three standard spectra, and per filter
// its name, effective wavelength, area and seven zero points.
catalog::FilterSetInfo describe_filter_set(const FilterSet& set, const std::string& fil_dir);

// The widest NAME a catalogue needs for the galaxy records of the grid file whose text is
// `grid` (its first `n` records after the nine parameter records, as the run reads them), at
// least 1.
int grid_name_width(std::string_view grid, int n);

}  // namespace veltrane
