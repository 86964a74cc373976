#include "catalog/writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "catalog/fits_io.h"
#include "catalog/schema.h"

namespace veltrane::catalog {
namespace {

constexpr std::size_t kBlockBytes = std::size_t(1) << 20;  // rows are written about 1 MiB at a time

// Data on disk before the rename makes them visible under the final name; an errno or 0.
int sync_file(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // a directory may not support it
  const int error = ok ? 0 : errno;
  ::close(fd);
  return error;
}

bool same_bits(std::span<const float> a, std::span<const float> b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size_bytes()) == 0;
}

}  // namespace

struct CatalogWriter::Impl {
  std::string path;
  Provenance provenance;
  Layout layout;
  Failure failure;
  bool finished = false;
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
    write_galaxies_header(*main, provenance, set, layout);
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

  // False when its temporary file cannot be made (`failure` says why).
  bool open_spectra(std::span<const float> lambda) {
    side_tmp = create_temporary_beside(path, failure);
    if (side_tmp.empty()) return false;
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
    return true;
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

  // Why `row` does not fit after the rows before it; empty when it does.
  std::string misfit(const GalaxyRow& row) const {
    const std::string g = "galaxy " + std::to_string(row.grid_row);
    if (row.grid_row < 1 || row.grid_row <= last_grid_row) return g + " after galaxy " + std::to_string(last_grid_row);
    const std::size_t nf = row.filters ? row.filters->filters.size() : 0;
    if (!row.magnitudes.empty() && (row.magnitudes.size() != nf * kSlots * kSystems || row.coverage.size() != nf ||
                                    row.coverage_positive.size() != nf))
      return g + ": magnitudes that do not fit its filter set";
    const std::size_t np = row.lambda.size();
    if (row.total.size() != np || row.young.size() != np || row.old.size() != np)
      return g + ": spectra not on its grid";
    return "";
  }

  void append(const GalaxyRow& row) {
    if (const std::string why = misfit(row); !why.empty()) {
      failure = {Failure::Kind::misuse, path, why};
      return;
    }
    std::uint32_t extra = 0;
    const std::size_t np = row.lambda.size();
    if (layout.spectra) {
      if (np > 0 && side == std::nullopt && !open_spectra(row.lambda)) return;
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

  void write_filters() {
    const std::vector<FilterEntry> none;
    const std::vector<FilterEntry>& set = filters ? filters->filters : none;
    std::size_t width = 1;
    for (const FilterEntry& f : set) width = std::max(width, fits_text_length(f.name));
    const RowLayout fc = filters_columns(int(width));
    main->create_table("FILTERS", fc);
    std::vector<unsigned char> rows_bytes(fc.width * set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
      Cursor c{rows_bytes.data() + i * fc.width};
      bool cut = false;
      c.text(stored_text(set[i].name, width, cut), width);
      for (float v : {set[i].lambda_eff, set[i].area}) c.f32(missing_as_nan(v));
      for (float z : set[i].zero_point) c.f32(missing_as_nan(z));
    }
    main->write_rows(1, (long long)set.size(), rows_bytes.data(), fc.width);
  }

  // A merged catalogue's INPUTS table: the catalogues it joined.
  void write_inputs() {
    const std::vector<InputRecord>& in = provenance.inputs;
    if (in.empty()) return;
    std::size_t width = 1;
    for (const InputRecord& r : in) width = std::max(width, fits_text_length(r.file));
    const RowLayout ic = inputs_columns(int(width));
    main->create_table("INPUTS", ic);
    std::vector<unsigned char> rows_bytes(ic.width * in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
      Cursor c{rows_bytes.data() + i * ic.width};
      bool cut = false;
      c.text(stored_text(in[i].file, width, cut), width);
      for (long long v : {(long long)in[i].shard, (long long)in[i].shards, (long long)in[i].first_row,
                          (long long)in[i].last_row, in[i].rows})
        c.i32(std::int32_t(v));
      c.text(stored_text(in[i].date, 19, cut), 19);
      c.text(in[i].sha256, 64);
    }
    main->write_rows(1, (long long)in.size(), rows_bytes.data(), ic.width);
  }

  // Everything written and checked, the spectra appended: the file is complete under its
  // temporary name. False after a failure (`failure` set).
  bool complete() {
    if (!galaxies_open) open_galaxies(nullptr);
    flush_galaxies();
    write_filters();
    write_inputs();
    main->write_checksums();
    main->close();
    if (main->failed()) return fail_with(main->failure());
    main.reset();
    if (!side) return true;
    flush_spectra();
    side->write_checksums();
    const long long start = side->hdu_start(2);
    side->close();
    if (side->failed()) return fail_with(side->failure());
    side.reset();
    if (const Failure f = append_file(side_tmp, start, tmp)) return fail_with(f);
    ::unlink(side_tmp.c_str());
    side_tmp.clear();
    return true;
  }

  bool finish(bool replace) {
    if (!complete()) return false;
    if (const int error = sync_file(tmp, O_RDONLY)) return fail_with({Failure::Kind::io, path, std::strerror(error)});
    if (const Failure f = rename_file(tmp, path, replace)) return fail_with(f);
    tmp.clear();
    // The catalogue is complete under its name; its durability across a crash of the
    // machine is the directory's sync, left to the file system where it cannot be done.
    const std::size_t slash = path.rfind('/');
    sync_file(slash == std::string::npos ? "." : path.substr(0, slash + 1), O_RDONLY | O_DIRECTORY);
    return true;
  }

  // The first failure of a file, now the writer's (named by the catalogue's final name).
  bool check_files() {
    for (const std::optional<FitsFile>* f : {&main, &side})
      if (*f && (*f)->failed()) return fail_with((*f)->failure());
    return !failure;
  }

  bool fail_with(Failure f) {
    if (!failure) {
      failure = std::move(f);
      failure.file = path;
    }
    remove_temporaries();
    return false;
  }

  void remove_temporaries() {
    main.reset();
    side.reset();
    if (!tmp.empty()) ::unlink(tmp.c_str());
    if (!side_tmp.empty()) ::unlink(side_tmp.c_str());
    tmp.clear();
    side_tmp.clear();
  }
};

CatalogWriter::CatalogWriter(std::string path, Provenance provenance, Layout layout) : impl_(new Impl) {
  Impl& w = *impl_;
  w.path = std::move(path);
  w.provenance = std::move(provenance);
  w.layout = layout;
  w.layout.name_width = std::max(w.layout.name_width, 1);
  w.layout.result_width = std::max(w.layout.result_width, 1);
  w.tmp = create_temporary_beside(w.path, w.failure);
  if (!w.tmp.empty()) w.main.emplace(FitsFile::create(w.tmp));
  w.check_files();
}

CatalogWriter::~CatalogWriter() {
  if (!impl_->finished) impl_->remove_temporaries();
}

bool CatalogWriter::append(const GalaxyRow& row) {
  if (failed() || impl_->finished) return false;
  impl_->append(row);
  return impl_->failure ? impl_->fail_with(impl_->failure) : impl_->check_files();
}

bool CatalogWriter::finish(bool replace) {
  if (failed()) return false;
  if (impl_->finished) return true;
  impl_->finished = impl_->finish(replace);
  return impl_->finished;
}

void CatalogWriter::abandon() {
  if (impl_->finished || failed()) return;
  impl_->fail_with({Failure::Kind::misuse, impl_->path, "abandoned"});
}

bool CatalogWriter::failed() const { return bool(impl_->failure); }
const Failure& CatalogWriter::failure() const { return impl_->failure; }
const std::string& CatalogWriter::path() const { return impl_->path; }
long long CatalogWriter::rows() const { return impl_->rows; }

}  // namespace veltrane::catalog
