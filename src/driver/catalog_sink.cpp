#include "driver/catalog_sink.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "catalog/digest.h"
#include "driver/galaxy_sources.h"
#include "driver/parameters.h"
#include "photometry/magnitudes.h"
#include "support/file_check.h"
#include "textio/format.h"

namespace veltrane {
namespace {

using catalog::GalaxyRow;

// Why a catalogue written with `old` cannot be continued by a run writing `now`; empty when
// it can. Floats compare bit for bit.
std::string mismatch(const catalog::Provenance& old, const catalog::Layout& old_layout, const catalog::Provenance& now,
                     const catalog::Layout& layout) {
  const auto same_float = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  const std::pair<bool, const char*> checks[] = {
      {old.version == now.version, "another version of veltrane"},
      {old.grid_identity == now.grid_identity, "another grid file"},
      {old.galaxies == now.galaxies, "another number of galaxies"},
      {old.shard == now.shard && old.shards == now.shards, "another shard"},
      {old.path_dir == now.path_dir && old.base_dir == now.base_dir && old.filter_dir == now.filter_dir,
       "other directories"},
      {same_float(old.t_cut_gyr, now.t_cut_gyr) && same_float(old.phyunits, now.phyunits) &&
           old.ext_corr == now.ext_corr,
       "another age cut, Phyunits or Ext_Corr"},
      {old_layout.name_width == layout.name_width && old_layout.result_width == layout.result_width,
       "other NAME or RESULT widths"},
      {old_layout.spectra == layout.spectra, layout.spectra ? "no spectra" : "spectra"},
  };
  for (const auto& [same, what] : checks)
    if (!same) return std::string("it holds ") + what;
  return "";
}

// The files of a filter set as the catalogue names them, changed since it was written.
bool filter_files_changed(const catalog::FilterSetInfo& old, const std::string& fil_dir) {
  FilterSet names;
  names.Nfilters = int(old.filters.size());
  for (std::size_t k = 0; k < old.filters.size(); ++k) names.name_fil[k] = old.filters[k].name;
  const catalog::FilterSetInfo now = describe_filter_set(names, fil_dir);
  return now.identity != old.identity || now.standards != old.standards;
}

// A file that starts as every FITS file does ("SIMPLE  =" in its first card), or holds
// nothing; a directory or an unreadable file is neither.
bool fits_or_empty(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char head[9];
  const std::size_t n = std::fread(head, 1, sizeof head, f);
  const bool empty = n == 0 && std::feof(f) != 0;
  std::fclose(f);
  return empty || (n == sizeof head && std::memcmp(head, "SIMPLE  =", sizeof head) == 0);
}

GalaxyRow placeholder(const GalaxyJob& job, const std::string& name, std::uint32_t status) {
  GalaxyRow row;
  row.grid_row = job.index + 1;
  row.name = name;
  row.result = job.files.arq_synt;
  row.distance = job.distance;
  row.status = status;
  row.av = NAN;
  row.log_mass.fill(NAN);
  return row;
}

}  // namespace

catalog::FilterSetInfo describe_filter_set(const FilterSet& set, const std::string& fil_dir) {
  catalog::FilterSetInfo info;
  const int n = std::clamp(set.Nfilters, 0, kMaxFilters);
  std::vector<std::string> files{"ListFilters.txt"};
  for (int k = 0; k < n; ++k) {
    const auto i = std::size_t(k);
    files.push_back(set.name_fil[i]);
    info.filters.push_back({set.name_fil[i], set.lamb_eff[i], set.T_l_Area[i], zero_points(set, i)});
  }
  info.identity = catalog::sha256_listing(fil_dir, files);
  const char* standards[] = {"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"};
  for (std::size_t s = 0; s < 3; ++s)
    info.standards[s] = catalog::sha256_file(textio::cut_text(fil_dir + standards[s]));
  return info;
}

int grid_name_width(std::string_view grid, int n) {
  textio::RecordFile file = textio::RecordFile::from_string(std::string(grid));
  int width = 1;
  RunParams p;
  if (read_run_parameters(file, "", true, p)) return width;
  std::string name;
  float distance = 0.0f;
  for (int m = 0; m < n && !read_galaxy_record(file, "", name, distance); ++m)
    width = std::max(width, int(catalog::fits_text_length(textio::used_part(name))));
  return width;
}

CatalogSink::CatalogSink(Console& console, Diagnostics& diagnostics, Setup setup)
    : console_(console), diagnostics_(diagnostics), path_(setup.path), fil_dir_(setup.provenance.filter_dir) {
  if (file_exists(path_) && !fits_or_empty(path_)) {
    // A slip on the command line ("--catalog survey.in") must not cost an input file.
    diagnostics.warn("--catalog: " + path_ + " exists and is not a FITS file; it is left as it is");
    throw RunStop(1, "catalogue refused");
  }
  if (setup.continue_existing && file_exists(path_)) open_existing(diagnostics, setup);
  writer_ = std::make_unique<catalog::CatalogWriter>(path_, setup.provenance, setup.layout);
  if (writer_->failed()) {
    reported_ = true;
    stop(console_, "... ERROR -> Cannot write " + path_, 1);
  }
}

void CatalogSink::open_existing(Diagnostics& diagnostics, const Setup& setup) {
  const auto refuse = [&](const std::string& why) {
    diagnostics.warn("--skip-existing: " + path_ + " cannot be continued (" + why +
                     "); it is left as it is: name another catalogue, or remove it to start anew");
    throw RunStop(1, "catalogue refused");
  };
  try {
    existing_.emplace(path_);
  } catch (const catalog::CatalogReader::Error& e) { refuse(e.what()); }
  std::string why = mismatch(existing_->provenance(), existing_->layout(), setup.provenance, setup.layout);
  if (why.empty() && existing_->has_filters() && filter_files_changed(existing_->filters(), fil_dir_))
    why = "its filter set's files have changed";
  if (!why.empty()) refuse(why);
  existing_row_.assign(std::size_t(std::max(setup.provenance.galaxies, 0)), 0);
  const bool by_name = setup.provenance.grid_identity.empty();
  if (by_name) existing_name_.resize(existing_row_.size());
  try {
    long long i = 0;
    for (const auto& [grid_row, status] : existing_->index()) {
      ++i;
      if ((status & catalog::kProcessed) == 0 || grid_row < 1 || std::size_t(grid_row) > existing_row_.size()) continue;
      existing_row_[std::size_t(grid_row - 1)] = i;
      if (by_name) existing_name_[std::size_t(grid_row - 1)] = existing_->row(i).name;
    }
  } catch (const catalog::CatalogReader::Error& e) { refuse(e.what()); }
}

std::optional<bool> CatalogSink::holds(const GalaxyJob& job) const {
  if (!existing_) return std::nullopt;
  const auto i = std::size_t(job.index);
  if (i >= existing_row_.size() || existing_row_[i] == 0) return false;
  return existing_name_.empty() || existing_name_[i] == textio::used_part(job.name);
}

Flow CatalogSink::append(const GalaxyRow& row) {
  if (writer_->append(row)) return Flow::go_on;
  if (!reported_) console_.say("... ERROR -> Cannot write " + path_);
  reported_ = true;
  return Flow::stop;
}

const catalog::FilterSetInfo* CatalogSink::filter_info(const std::shared_ptr<const FilterSet>& set) {
  if (!set || set->Nfilters <= 0) return nullptr;
  if (set != described_) {
    info_ = describe_filter_set(*set, fil_dir_);
    described_ = set;
  }
  return &info_;
}

Flow CatalogSink::committed(const GalaxyJob& job, const GalaxyOutcome& outcome) {
  const std::string name = textio::used_part(job.name);
  if (!outcome.processed) return append(placeholder(job, name, catalog::kNameTooLong));
  const CatalogValues& v = outcome.catalog;
  GalaxyRow row = placeholder(job, name, catalog::kProcessed);
  if (outcome.status.failed()) row.status |= catalog::kFailed;
  if (!(job.distance > 0.0f)) row.status |= catalog::kNoDistance;
  if (!v.fit_read) row.status |= catalog::kResultUnread;
  if (v.fit_read) {
    row.av = v.A_V;
    row.law = v.law;
  }
  if (v.measured) {
    row.log_mass = v.log_mass;
    row.filters = filter_info(outcome.after.filters);
    if (row.filters != nullptr) {
      row.magnitudes = v.magnitudes;
      row.coverage = v.coverage;
      row.coverage_positive = v.coverage_positive;
    }
    row.lambda = v.lambda;
    row.total = v.total;
    row.young = v.young;
    row.old = v.old;
  }
  return append(row);
}

Flow CatalogSink::skipped(const GalaxyJob& job) {
  const std::string name = textio::used_part(job.name);
  const auto i = std::size_t(job.index);
  if (!existing_ || i >= existing_row_.size() || existing_row_[i] == 0)
    return append(placeholder(job, name, catalog::kSkippedExisting));
  try {
    const catalog::StoredRow kept = existing_->row(existing_row_[i]);
    return append(kept.view(existing_->has_filters() ? &existing_->filters() : nullptr, existing_->grid()));
  } catch (const catalog::CatalogReader::Error& e) {
    // The catalogue continued changed under the run: the new one cannot be complete.
    diagnostics_.warn(path_ + ": " + e.what());
    writer_->abandon();
    return append(placeholder(job, name, catalog::kSkippedExisting));
  }
}

void CatalogSink::stopped_at(const GalaxyJob& job) {
  if (!writer_->failed()) append(placeholder(job, textio::used_part(job.name), catalog::kRunStopped));
}

bool CatalogSink::finish() {
  if (finished_) return *finished_;
  finished_ = !writer_->failed() && writer_->finish();
  if (!*finished_ && !reported_) console_.say("... ERROR -> Cannot write " + path_);
  reported_ = true;
  return *finished_;
}

}  // namespace veltrane
