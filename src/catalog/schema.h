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

// The columns of each table in layout `format` (the units of the log masses and the spectra
// differ in layout 1).
RowLayout galaxies_columns(int nfilters, const Layout& layout, int format = kFormat);
RowLayout filters_columns(int name_width);
RowLayout inputs_columns(int file_width);
RowLayout wavelength_columns(int points);
RowLayout spectra_columns(int points, int format = kFormat);

// The primary header of a catalogue whose filter set is `filters` (null: none known): the
// provenance keywords, a merged catalogue's missing rows, the checksum cards.
void write_primary(FitsFile& file, const Provenance& p, const FilterSetInfo* filters, const Layout& layout);
// The rest of the GALAXIES header: the COMMENT cards that explain STATUS, the filter of each
// array element (FILTk, LEFFk) and the provenance of the primary header.
void write_galaxies_header(FitsFile& file, const Provenance& p, const FilterSetInfo* filters, const Layout& layout);
void write_status_comments(FitsFile& file);

// `raw` as stored text (to_fits_text), cut to `width` bytes without splitting an escape;
// `cut` tells whether anything was left out.
std::string stored_text(std::string_view raw, std::size_t width, bool& cut);

// -999.0, a missing value in the tables, as NaN; every other value as it is.
float missing_as_nan(float v);

// Writes the big-endian fields of a row at a cursor, in column order.
struct Cursor {
  unsigned char* p;
  void i32(std::int32_t v) {
    put_i32(p, v);
    p += 4;
  }
  void f32(float v) {
    put_f32(p, v);
    p += 4;
  }
  void text(std::string_view v, std::size_t width) {
    put_text(p, v, width);
    p += width;
  }
  // n values, NaN where `values` has none (and for -999.0 with `missing_to_nan`).
  void floats(std::span<const float> values, std::size_t n, bool missing_to_nan);
};

// The GALAXIES bytes of `row` (its masses NaN without a distance). `measured`: the row's magnitudes belong to the
// catalogue's filter set (otherwise they are NaN); `nfilters` the catalogue's filter count. Returns the row's STATUS as
// written (the row's bits and kTextCut where a text was cut).
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
