// Reads a catalogue back (for the merge, a run that continues one, and the tests):
// provenance, filter set, spectrum grid and rows, after checking, with its own reading of the
// file, that it is FITS, whole, a Veltrane catalogue of a layout this version reads
// (kOldestFormat to kFormat) and that every HDU's checksum verifies.
//
// What goes wrong is a Failure naming the file, in this order of the checks:
//   io             the system's reason ("No such file or directory", "Is a directory")
//   not_fits       "not a FITS file", "not a FITS file (empty)"
//   not_catalogue  "a FITS file, but not a Veltrane catalogue"; a layout it does not read
//   cut_short      "cut short: N of M bytes" (or "of at least M" where later HDUs are unknown)
//   damaged        "damaged (checksum of its GALAXIES table)", tables that disagree
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/schema.h"

namespace veltrane::catalog {

// What stands at a name a catalogue is about to be written to. A catalogue is any file whose
// primary header says it is one (CREATOR "veltrane ..." and VTFORMAT), of any layout, damaged
// or not; `words` (when given) says what the file is ("not a FITS file", "a FITS file, but not
// a Veltrane catalogue", the system's reason it cannot be read, "shard K of N").
enum class Occupant { nothing, empty, unreadable, not_fits, foreign_fits, catalogue, shard };
Occupant occupant_of(const std::string& path, std::string* words = nullptr);

class CatalogReader {
 public:
  // Opens and checks `path`; nullopt when it cannot be read as a catalogue, `failure` saying
  // why. With `digest` the SHA-256 of the whole file is computed in the same reading.
  static std::optional<CatalogReader> open(const std::string& path, Failure& failure, bool digest = false);
  ~CatalogReader();
  CatalogReader(CatalogReader&&) noexcept;
  CatalogReader& operator=(CatalogReader&&) noexcept;

  const Provenance& provenance() const { return provenance_; }
  const Layout& layout() const { return layout_; }
  int format() const { return format_; }  // VTFORMAT
  // The value of a primary keyword as its card holds it (texts without their quotes).
  const std::string& card(const std::string& key) const;
  bool has_filters() const { return has_filters_; }  // false: no galaxy met a filter set
  const FilterSetInfo& filters() const { return filters_; }
  const std::vector<float>& grid() const { return grid_; }  // empty: no spectra grid
  long long rows() const { return rows_; }
  const std::string& sha256() const { return sha256_; }  // with `digest`

  // Grid row and STATUS of every row, in file order; nullopt when the file cannot be read
  // again (failure() says why).
  std::optional<std::vector<std::pair<int, std::uint32_t>>> index();
  // Row `i` (1-based) with its spectra when the file has a grid; nullopt as index().
  std::optional<StoredRow> row(long long i);
  const Failure& failure() const;
  // Closes the file until the next index() or row() opens it again (without checking it
  // again), so that a merge of a thousand shards stays within the open-file limit.
  void release();

 private:
  CatalogReader();
  FitsFile* file();
  // The parts of the opening check, in this order; each false with failure() set.
  bool check_file(bool digest);
  bool read_keywords();
  bool read_filters_table(FitsFile& f);
  bool read_galaxies_table(FitsFile& f);
  bool read_spectra_tables(FitsFile& f);
  bool fail(Failure::Kind kind, std::string reason);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Provenance provenance_;
  Layout layout_;
  int format_ = kFormat;
  bool has_filters_ = false;
  FilterSetInfo filters_;
  std::vector<float> grid_;
  long long rows_ = 0;
  std::string sha256_;
};

}  // namespace veltrane::catalog
