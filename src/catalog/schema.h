// The catalogue's layout, shared by the writer and the reader: the primary header's
// provenance keywords, the columns of each HDU, and a GALAXIES row as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/fits_io.h"

namespace veltrane::catalog {

RowLayout galaxies_columns(int nfilters, const Layout& layout);
RowLayout filters_columns(int name_width);
RowLayout wavelength_columns(int points);
RowLayout spectra_columns(int points);

// The primary header of a catalogue whose filter set is `filters` (null: none known).
void write_primary(FitsFile& file, const Provenance& p, const FilterSetInfo* filters, const Layout& layout);
// The COMMENT cards of GALAXIES that explain STATUS.
void write_status_comments(FitsFile& file);

// `raw` as stored text (to_fits_text), cut to `width` bytes without splitting an escape;
// `cut` tells whether anything was left out.
std::string stored_text(std::string_view raw, std::size_t width, bool& cut);

// -999.0, a missing value in the tables, as NaN; every other value as it is.
float missing_as_nan(float v);

// The GALAXIES bytes of `row`. `measured`: the row's magnitudes belong to the catalogue's
// filter set (otherwise they are NaN); `nfilters` the catalogue's filter count. Returns the
// row's STATUS as written (the row's bits and kTextCut where a text was cut).
std::uint32_t encode_galaxy(const RowLayout& columns, const GalaxyRow& row, bool measured, int nfilters,
                            std::uint32_t extra_status, unsigned char* out);

// A GALAXIES row read back, owning its values; view() is the row as the writer takes it.
struct StoredRow {
  int grid_row = 0;
  std::string name, result, law;  // as the galaxy had them (escapes undone)
  float distance = 0.0f, av = 0.0f;
  std::uint32_t status = 0;
  std::array<float, kMasses> log_mass{};
  std::vector<float> magnitudes, coverage, coverage_positive;  // empty without a filter set
  std::vector<float> total, young, old;                        // empty without spectra
  GalaxyRow view(const FilterSetInfo* filters, std::span<const float> grid) const;
};
// Decodes a GALAXIES row of `columns` (nfilters per array column).
StoredRow decode_galaxy(const RowLayout& columns, int nfilters, const unsigned char* in);

}  // namespace veltrane::catalog
