// Reads a catalogue back (for the merge and the tests): provenance, filter set, spectrum
// grid and rows, after checking that every HDU's checksum verifies and that the file has
// this version's layout.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/schema.h"

namespace veltrane::catalog {

class CatalogReader {
 public:
  enum class Problem {
    unreadable,     // cannot be opened or read, or is not FITS
    damaged,        // a checksum is missing or wrong, or the tables disagree
    not_catalogue,  // FITS, but not a catalogue of this layout
  };
  struct Error : std::runtime_error {
    Error(Problem p, const std::string& what) : std::runtime_error(what), problem(p) {}
    Problem problem;
  };

  // Opens and checks `path`; throws Error.
  explicit CatalogReader(const std::string& path);
  ~CatalogReader();
  CatalogReader(CatalogReader&&) noexcept;

  const Provenance& provenance() const { return provenance_; }
  const Layout& layout() const { return layout_; }
  // The value of a primary keyword as its card holds it.
  const std::string& card(const std::string& key) const;
  bool has_filters() const { return has_filters_; }  // false: no galaxy met a filter set
  const FilterSetInfo& filters() const { return filters_; }
  const std::vector<float>& grid() const { return grid_; }  // empty: no spectra grid
  long long rows() const { return rows_; }

  // Grid row and STATUS of every row, in file order.
  std::vector<std::pair<int, std::uint32_t>> index();
  // Row `i` (1-based) with its spectra when the file has a grid; throws Error.
  StoredRow row(long long i);
  // Closes the file until the next index() or row() opens it again (without checking it
  // again), so that a merge of a thousand shards stays within the open-file limit.
  void release();

 private:
  FitsFile& file();
  // The parts of the opening check, in this order (each throws Error).
  void read_keywords(FitsFile& f, const std::string& creator);
  void read_filters_table(FitsFile& f);
  void read_galaxies_table(FitsFile& f);
  void read_spectra_tables(FitsFile& f);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Provenance provenance_;
  Layout layout_;
  bool has_filters_ = false;
  FilterSetInfo filters_;
  std::vector<float> grid_;
  long long rows_ = 0;
};

}  // namespace veltrane::catalog
