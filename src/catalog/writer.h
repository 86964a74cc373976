// Writes a catalogue (catalog.h) row by row, as the one thread that commits galaxies hands
// them over, in grid order.
//
// The file is written under a temporary name beside its final one (hidden, never longer)
// and renamed over the final name by finish(): until then nothing exists at the final name
// (an earlier file there stays whole), and a killed process leaves no partial catalogue
// under it. Rows are encoded at once and written in blocks; the SPECTRA rows go to a second
// temporary file, appended to the first when the catalogue is finished (so the GALAXIES
// table can grow while the spectra grow). CHECKSUM and DATASUM of every HDU are written last.
//
// Every failure (a full disk or a file-size limit, a directory that cannot be written, a
// rename) leaves the writer failed: its temporary files are removed, every later call returns
// false, and failure() says why, naming the catalogue's final name (the operating system's
// reason for I/O). A misuse (rows out of grid order, magnitude arrays of the wrong size)
// fails it the same way (Failure::Kind::misuse).
#pragma once

#include <memory>
#include <string>

#include "catalog/catalog.h"

namespace veltrane::catalog {

class CatalogWriter {
 public:
  // Creates the temporary file beside `path`; failed() tells whether that worked.
  CatalogWriter(std::string path, Provenance provenance, Layout layout);
  // Abandons the catalogue unless it was finished.
  ~CatalogWriter();
  CatalogWriter(const CatalogWriter&) = delete;
  CatalogWriter& operator=(const CatalogWriter&) = delete;

  // Adds one galaxy after those added before (grid_row strictly increasing, at least 1).
  // Rows wait in memory until the catalogue's filter set is known (the first row that has
  // one), then go to the file in blocks.
  bool append(const GalaxyRow& row);
  // Writes what is buffered, the FILTERS (and INPUTS) table and the checksums, and renames
  // the file to its final name: a valid catalogue of the rows appended so far (also on
  // SIGTERM). With `replace` false a file that appeared at the final name meanwhile is never
  // replaced (the writer fails, "File exists").
  bool finish(bool replace = true);
  // Removes the temporary files; the catalogue is not written.
  void abandon();

  bool failed() const;
  const Failure& failure() const;   // why it failed (Kind::none while it has not)
  const std::string& path() const;  // the final name
  long long rows() const;           // rows appended

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrane::catalog
