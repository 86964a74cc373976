#include "catalog/writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "catalog/fits_io.h"
#include "catalog/schema.h"

namespace veltrane::catalog {
namespace {

constexpr std::size_t kBlockBytes = std::size_t(1) << 20;  // rows are written about 1 MiB at a time

[[noreturn]] void misuse(const std::string& what) { throw std::invalid_argument(what); }

std::string errno_text(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Data on disk before the rename makes them visible under the final name.
void sync_file(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) throw FitsError(errno_text("sync"));
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // a directory may not support it
  const int saved = errno;
  ::close(fd);
  if (!ok) {
    errno = saved;
    throw FitsError(errno_text("sync"));
  }
}

bool same_bits(std::span<const float> a, std::span<const float> b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

}  // namespace

struct CatalogWriter::Impl {
  std::string path;
  Provenance provenance;
  Layout layout;
  std::string error;
  bool failed = false, finished = false;
  std::string tmp, side_tmp;  // temporary files that exist
  std::optional<FitsFile> main, side;
  long long rows = 0;
  int last_grid_row = 0;

  // GALAXIES: rows wait as values until the filter set fixes the table's columns.
  struct Pending {
    int grid_row;
    std::string name, result, law;
    float distance, av;
    std::uint32_t status;
    std::array<float, kMasses> log_mass;
  };
  std::vector<Pending> pending;
  std::optional<FilterSetInfo> filters;
  bool galaxies_open = false;
  RowLayout galaxy_columns;
  std::vector<unsigned char> block;
  long long written = 0;

  // SPECTRA, in the second file: rows before the first grid are NaN rows written with it.
  std::vector<float> grid;
  RowLayout spectrum_columns;
  std::vector<int> spectra_pending;
  std::vector<unsigned char> spectra_block;
  long long spectra_written = 0;

  void open_galaxies(const FilterSetInfo* set) {
    if (set) filters = *set;
    const int nfilters = set ? int(set->filters.size()) : 0;
    write_primary(*main, provenance, set, layout);
    galaxy_columns = galaxies_columns(nfilters, layout);
    main->create_table("GALAXIES", galaxy_columns);
    write_status_comments(*main);
    galaxies_open = true;
    for (const Pending& p : pending) {
      GalaxyRow row;
      row.grid_row = p.grid_row;
      row.name = p.name;
      row.result = p.result;
      row.law = p.law;
      row.distance = p.distance;
      row.av = p.av;
      row.status = p.status;
      row.log_mass = p.log_mass;
      add_galaxy(row, false, 0);
    }
    pending.clear();
    pending.shrink_to_fit();
  }

  void add_galaxy(const GalaxyRow& row, bool measured, std::uint32_t extra) {
    const std::size_t at = block.size();
    block.resize(at + galaxy_columns.width);
    encode_galaxy(galaxy_columns, row, measured, filters ? int(filters->filters.size()) : 0, extra, block.data() + at);
    if (block.size() >= kBlockBytes) flush_galaxies();
  }

  void flush_galaxies() {
    if (block.empty()) return;
    const long long n = (long long)(block.size() / galaxy_columns.width);
    main->write_rows(written + 1, n, block.data(), galaxy_columns.width);
    written += n;
    block.clear();
  }

  void open_spectra(std::span<const float> lambda) {
    side_tmp = create_temporary_beside(path);
    side.emplace(FitsFile::create(side_tmp));
    grid.assign(lambda.begin(), lambda.end());
    const RowLayout wl = wavelength_columns(int(grid.size()));
    side->create_table("WAVELENGTH", wl);
    std::vector<unsigned char> row(wl.width);
    for (std::size_t i = 0; i < grid.size(); ++i) put_f32(row.data() + 4 * i, grid[i]);
    side->write_rows(1, 1, row.data(), wl.width);
    spectrum_columns = spectra_columns(int(grid.size()));
    side->create_table("SPECTRA", spectrum_columns);
    for (int g : spectra_pending) add_spectrum(g, nullptr);
    spectra_pending.clear();
  }

  void add_spectrum(int grid_row, const GalaxyRow* row) {
    const std::size_t at = spectra_block.size(), n = grid.size();
    spectra_block.resize(at + spectrum_columns.width);
    unsigned char* p = spectra_block.data() + at;
    put_i32(p, grid_row);
    p += 4;
    for (std::span<const float> part :
         {row ? row->total : std::span<const float>(), row ? row->young : std::span<const float>(),
          row ? row->old : std::span<const float>()})
      for (std::size_t i = 0; i < n; ++i, p += 4)
        put_f32(p, i < part.size() ? part[i] : std::numeric_limits<float>::quiet_NaN());
    if (spectra_block.size() >= kBlockBytes) flush_spectra();
  }

  void flush_spectra() {
    if (spectra_block.empty()) return;
    const long long n = (long long)(spectra_block.size() / spectrum_columns.width);
    side->write_rows(spectra_written + 1, n, spectra_block.data(), spectrum_columns.width);
    spectra_written += n;
    spectra_block.clear();
  }

  void append(const GalaxyRow& row) {
    if (row.grid_row < 1 || row.grid_row <= last_grid_row)
      misuse("galaxy " + std::to_string(row.grid_row) + " after galaxy " + std::to_string(last_grid_row));
    const std::size_t nf = row.filters ? row.filters->filters.size() : 0;
    if (!row.magnitudes.empty() && (row.magnitudes.size() != nf * kSlots * kSystems || row.coverage.size() != nf ||
                                    row.coverage_positive.size() != nf))
      misuse("galaxy " + std::to_string(row.grid_row) + ": magnitudes that do not fit its filter set");
    const std::size_t np = row.lambda.size();
    if (row.total.size() != np || row.young.size() != np || row.old.size() != np)
      misuse("galaxy " + std::to_string(row.grid_row) + ": spectra not on its grid");

    std::uint32_t extra = 0;
    if (layout.spectra) {
      if (np > 0 && side == std::nullopt) open_spectra(row.lambda);
      if (side) {
        const bool same = np > 0 && same_bits(row.lambda, grid);
        if (np > 0 && !same) extra |= kOtherGrid;
        add_spectrum(row.grid_row, same ? &row : nullptr);
      } else {
        spectra_pending.push_back(row.grid_row);
      }
    }
    if (row.filters && !galaxies_open) open_galaxies(row.filters);
    if (galaxies_open) {
      const bool measured = row.filters && *row.filters == *filters;
      if (row.filters && !measured) extra |= kOtherFilters;
      add_galaxy(row, measured, extra);
    } else {
      pending.push_back({row.grid_row, std::string(row.name), std::string(row.result), std::string(row.law),
                         row.distance, row.av, row.status | extra, row.log_mass});
    }
    ++rows;
    last_grid_row = row.grid_row;
  }

  void finish() {
    if (!galaxies_open) open_galaxies(nullptr);
    flush_galaxies();
    const std::vector<FilterEntry> none;
    const std::vector<FilterEntry>& set = filters ? filters->filters : none;
    std::size_t width = 1;
    for (const FilterEntry& f : set) width = std::max(width, fits_text_length(f.name));
    const RowLayout fc = filters_columns(int(width));
    main->create_table("FILTERS", fc);
    std::vector<unsigned char> rows_bytes(fc.width * set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
      unsigned char* p = rows_bytes.data() + i * fc.width;
      bool cut = false;
      put_text(p, stored_text(set[i].name, width, cut), width);
      p += width;
      for (float v : {set[i].lambda_eff, set[i].area}) {
        put_f32(p, missing_as_nan(v));
        p += 4;
      }
      for (float z : set[i].zero_point) {
        put_f32(p, missing_as_nan(z));
        p += 4;
      }
    }
    main->write_rows(1, (long long)set.size(), rows_bytes.data(), fc.width);
    main->write_checksums();
    main->close();
    main.reset();
    if (side) {
      flush_spectra();
      side->write_checksums();
      const long long start = side->hdu_start(2);
      side->close();
      side.reset();
      append_file(side_tmp, start, tmp);
      ::unlink(side_tmp.c_str());
      side_tmp.clear();
    }
    sync_file(tmp, O_RDONLY);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) throw FitsError(errno_text("rename"));
    tmp.clear();
    const std::size_t slash = path.rfind('/');
    try {
      sync_file(slash == std::string::npos ? "." : path.substr(0, slash + 1), O_RDONLY | O_DIRECTORY);
    } catch (const FitsError&) {
      // The catalogue is complete under its name; only its durability across a crash of
      // the machine is left to the file system.
    }
  }

  void remove_temporaries() {
    main.reset();
    side.reset();
    if (!tmp.empty()) ::unlink(tmp.c_str());
    if (!side_tmp.empty()) ::unlink(side_tmp.c_str());
    tmp.clear();
    side_tmp.clear();
  }

  void fail(const std::string& why) {
    failed = true;
    error = why;
    remove_temporaries();
  }
};

CatalogWriter::CatalogWriter(std::string path, Provenance provenance, Layout layout) : impl_(new Impl) {
  Impl& w = *impl_;
  w.path = std::move(path);
  w.provenance = std::move(provenance);
  w.layout = layout;
  w.layout.name_width = std::max(w.layout.name_width, 1);
  w.layout.result_width = std::max(w.layout.result_width, 1);
  try {
    w.tmp = create_temporary_beside(w.path);
    w.main.emplace(FitsFile::create(w.tmp));
  } catch (const std::exception& e) { w.fail(e.what()); }
}

CatalogWriter::~CatalogWriter() {
  if (!impl_->finished) impl_->remove_temporaries();
}

bool CatalogWriter::append(const GalaxyRow& row) {
  if (impl_->failed || impl_->finished) return false;
  try {
    impl_->append(row);
    return true;
  } catch (const std::exception& e) {
    impl_->fail(e.what());
    return false;
  }
}

bool CatalogWriter::finish() {
  if (impl_->failed) return false;
  if (impl_->finished) return true;
  try {
    impl_->finish();
    impl_->finished = true;
    return true;
  } catch (const std::exception& e) {
    impl_->fail(e.what());
    return false;
  }
}

void CatalogWriter::abandon() {
  if (impl_->finished || impl_->failed) return;
  impl_->fail("abandoned");
}

bool CatalogWriter::failed() const { return impl_->failed; }
const std::string& CatalogWriter::error() const { return impl_->error; }
const std::string& CatalogWriter::path() const { return impl_->path; }
long long CatalogWriter::rows() const { return impl_->rows; }

}  // namespace veltrane::catalog
