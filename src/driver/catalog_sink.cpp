#include "driver/catalog_sink.h"

#include <algorithm>
#include <charconv>
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
// it can. The run's parameters are compared before the identities (a grid file whose age cut
// was edited is said to hold another age cut, not another grid file); floats bit for bit.
std::string mismatch(const catalog::Provenance& old, const catalog::Layout& old_layout, const catalog::Provenance& now,
                     const catalog::Layout& layout) {
  const auto same_float = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  const auto value = [](float v) {  // as the catalogue's header shows it: 1.0, 1.0E-17
    char buf[32];
    std::string t(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    for (char& c : t) c = c == 'e' ? 'E' : c;
    if (t.find_first_of(".En") == std::string::npos) t += ".0";
    else if (t.find('.') == std::string::npos && t.find('E') != std::string::npos) t.insert(t.find('E'), ".0");
    return t;
  };
  const auto values = [&](float a, float b, const char* unit) {
    return " (" + value(a) + unit + "; this run " + value(b) + unit + ")";
  };
  const std::pair<bool, std::string> checks[] = {
      {old.version == now.version, "another version of veltrane"},
      {old.shard == now.shard && old.shards == now.shards, "another shard"},
      {same_float(old.t_cut_gyr, now.t_cut_gyr), "another age cut" + values(old.t_cut_gyr, now.t_cut_gyr, " Gyr")},
      {same_float(old.phyunits, now.phyunits), "another Phyunits" + values(old.phyunits, now.phyunits, "")},
      {old.ext_corr == now.ext_corr, "another Ext_Corr"},
      {old_layout.spectra == layout.spectra, layout.spectra ? "no spectra" : "spectra"},
      {old.path_dir == now.path_dir && old.base_dir == now.base_dir && old.filter_dir == now.filter_dir,
       "other directories"},
      {old.grid_identity == now.grid_identity, "another grid file"},
      {old.galaxies == now.galaxies, "another number of galaxies"},
      {old_layout.name_width == layout.name_width && old_layout.result_width == layout.result_width,
       "other NAME or RESULT widths"},
  };
  for (const auto& [same, what] : checks)
    if (!same) return "it holds " + what;
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
  // A slip on the command line ("--catalog survey.in", someone's table) must not cost a file:
  // only nothing, an empty file or a Veltrane catalogue is written over.
  std::string what;
  switch (catalog::occupant_of(path_, &what)) {
    case catalog::Occupant::nothing:
    case catalog::Occupant::empty:
    case catalog::Occupant::catalogue:
    case catalog::Occupant::shard: break;
    case catalog::Occupant::not_fits:
      diagnostics.warn("--catalog: " + path_ + " exists and is not a FITS file; it is left as it is");
      throw RunStop(1, "catalogue refused");
    default:
      diagnostics.warn("--catalog: " + path_ + " exists and is " + what + "; it is left as it is");
      throw RunStop(1, "catalogue refused");
  }
  if (setup.continue_existing && file_exists(path_)) open_existing(diagnostics, setup);
  writer_ = std::make_unique<catalog::CatalogWriter>(path_, setup.provenance, setup.layout);
  if (writer_->failed()) {
    say_failure();
    stop(console_, "... ERROR -> Cannot write " + path_, 1);
  }
}

void CatalogSink::say_failure() {
  if (!said_) diagnostics_.warn(path_ + ": cannot be written: " + writer_->failure().reason);
  said_ = reported_ = true;
}

void CatalogSink::open_existing(Diagnostics& diagnostics, const Setup& setup) {
  const auto refuse = [&](const std::string& why) {
    diagnostics.warn("--skip-existing: " + path_ + " cannot be continued (" + why +
                     "); it is left as it is: name another catalogue, or remove it to start anew");
    throw RunStop(1, "catalogue refused");
  };
  catalog::Failure failure;
  existing_ = catalog::CatalogReader::open(path_, failure);
  if (!existing_) refuse(failure.reason);
  std::string why = mismatch(existing_->provenance(), existing_->layout(), setup.provenance, setup.layout);
  if (why.empty() && existing_->has_filters() && filter_files_changed(existing_->filters(), fil_dir_))
    why = "its filter set's files have changed";
  if (!why.empty()) refuse(why);
  existing_row_.assign(std::size_t(std::max(setup.provenance.galaxies, 0)), 0);
  const bool by_name = setup.provenance.grid_identity.empty();
  if (by_name) existing_name_.resize(existing_row_.size());
  const auto index = existing_->index();
  if (!index) refuse(existing_->failure().reason);
  long long i = 0;
  for (const auto& [grid_row, status] : *index) {
    ++i;
    if ((status & catalog::kProcessed) == 0 || grid_row < 1 || std::size_t(grid_row) > existing_row_.size()) continue;
    existing_row_[std::size_t(grid_row - 1)] = i;
    if (!by_name) continue;
    const std::optional<catalog::StoredRow> row = existing_->row(i);
    if (!row) refuse(existing_->failure().reason);
    existing_name_[std::size_t(grid_row - 1)] = row->name;
  }
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
  say_failure();
  return Flow::stop;
}

const catalog::FilterSetInfo* CatalogSink::filter_info(const std::shared_ptr<const FilterSet>& set) {
  // A set loaded with no filter was met all the same: the catalogue says it measured nothing.
  if (!set || set == FilterSet::unloaded()) return nullptr;
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
  const std::optional<catalog::StoredRow> kept = existing_->row(existing_row_[i]);
  if (kept) return append(kept->view(existing_->has_filters() ? &existing_->filters() : nullptr, existing_->grid()));
  // The catalogue continued changed under the run: the new one cannot be complete.
  diagnostics_.warn(existing_->failure().where_and_why() + "; the catalogue continued cannot be carried on");
  said_ = true;
  writer_->abandon();
  return append(placeholder(job, name, catalog::kSkippedExisting));
}

void CatalogSink::stopped_at(const GalaxyJob& job) {
  if (!writer_->failed()) append(placeholder(job, textio::used_part(job.name), catalog::kRunStopped));
}

bool CatalogSink::finish() {
  if (finished_) return *finished_;
  finished_ = !writer_->failed() && writer_->finish();
  if (*finished_) return true;
  if (!reported_) console_.say("... ERROR -> Cannot write " + path_);
  say_failure();
  return false;
}

}  // namespace veltrane
