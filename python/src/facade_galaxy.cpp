// One galaxy: a synthesis result and a grid file read as a run reads them, and a galaxy
// rebuilt as a run rebuilds it (the galaxy layer), with its spectra, magnitudes and tables.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "cache/input_cache.h"
#include "facade_internal.h"
#include "galaxy/galaxy.h"
#include "readers/run_parameters.h"
#include "readers/synthesis_result.h"
#include "support/diagnostics.h"
#include "support/limits.h"
#include "support/names.h"
#include "support/problem_log.h"
#include "support/report.h"
#include "tables/tables.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane::facade {

using namespace detail;

namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

constexpr std::size_t kMaxStem = kTextLen - kMagSuffix.size();  // a run's longest result path

Fit fit_of(const FitResult& r) {
  Fit f;
  f.base_file = r.arq_info[1];
  f.law = std::string(textio::trim_right(r.R_LawOPT));
  f.a_v = r.A_V;
  f.lambda_norm = r.lbd_norm;
  f.flux_norm = r.flx_norm;
  f.q_norm = r.qlbdnorm;
  f.fit_from = r.Olsynini;
  f.fit_to = r.Olsynfin;
  f.mass_tot_2 = r.mass_tot_2;
  f.mass_tot_3 = r.mass_tot_3;
  f.m3_sum = r.m3_sum;
  f.rows = std::clamp(r.Num_base, 0, kMaxSsp);
  f.x = head(r.x_j, f.rows);
  f.m2 = head(r.m2_j, f.rows);
  f.m3 = head(r.m3_j, f.rows);
  f.age = head(r.age_j, f.rows);
  f.met = head(r.met_j, f.rows);
  f.alpha = head(r.alph_j, f.rows);
  f.ssp = head(r.basename, f.rows);
  const int n = std::clamp(r.N_obs, 0, kMaxPoints);
  f.wave = head(r.o_lambda, n);
  f.flux = head(r.o_fluxes, n);
  f.flux_s = head(r.s_fluxes, n);
  f.flux_w = head(r.w_fluxes, n);
  return f;
}

// A synthesis result as read, whatever the reader says (`report` keeps that).
Fit read_result(CapturedReport& report, const std::string& path, float phyunits) {
  auto fit = std::make_unique<FitResult>();
  Read_Out_KW(report.context, path, phyunits, *fit);
  return fit_of(*fit);
}

void check_result_path(const std::string& path) {
  if (path.empty()) fail(Fault::value, "no synthesis result file given");
  if (path.size() > kMaxStem)
    fail(Fault::value, "the synthesis result path is too long (a run takes at most 592 characters): '" + path + "'");
}

// The warnings as a run writes them on standard error.
std::string standard_error(const std::vector<std::string>& warnings) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* f = open_memstream(&text, &size);
  if (f == nullptr) fail(Fault::internal, "no memory for the warnings");
  Diagnostics err(f);
  for (const std::string& w : warnings) err.warn(w);
  std::fclose(f);
  std::string s(text, size);
  std::free(text);
  return s;
}

}  // namespace

namespace {

// A problem as the exception of its kind: the message says where and why, as the command
// line's standard error does.
[[noreturn]] void raise(Fault kind, const std::string& what, const Problem& p, const std::string& console = {}) {
  throw Error(kind, what + ": " + p.where_and_why(), p.file, int(p.record), console, p.reason);
}

}  // namespace

Fit read_fit(const std::string& path, float phyunits) {
  check_result_path(path);
  CapturedReport r;
  Fit fit = read_result(r, path, phyunits > 0.0f ? phyunits : 1.0f);
  if (r.context.failed())
    raise(Fault::input_file, "cannot read the synthesis result", r.status.cause(), r.console.captured());
  return fit;
}

GridFile read_grid(const std::string& path) {
  std::optional<RecordFile> file = RecordFile::open(path);
  if (!file)
    raise(Fault::input_file, "cannot read the grid file", {path, 0, 0, "cannot be opened: " + system_reason(), {}});
  RunParams p;
  if (auto problem = read_run_parameters(*file, path, true, p))
    raise(Fault::input_file, "cannot read the grid file's run parameters", *problem);
  GridFile g;
  g.path_dir = textio::used_part(p.path_DIR);
  g.base_dir = textio::used_part(p.base_SSP);
  g.filter_dir = textio::used_part(p.fil_dir);
  g.t_cut_gyr = p.t_cutGyr;
  g.phyunits = p.Phyunits;
  g.ext_corr = p.Ext_Corr;
  g.print_fil = p.PrintFil;
  g.verbose = p.Fverbose;
  for (int k = 0; k < p.N_models; ++k) {
    std::string name;
    float distance = 0.0f;
    if (auto problem = read_galaxy_record(*file, path, name, distance))
      raise(Fault::input_file,
            "cannot read galaxy record " + std::to_string(k + 1) + " of " + std::to_string(p.N_models), *problem);
    g.names.push_back(name);
    g.distances.push_back(distance);
  }
  return g;
}

struct Cache::Impl {
  InputCache cache{true};
};
Cache::Cache() : impl_(std::make_unique<Impl>()) {}
Cache::~Cache() = default;

namespace {

// The settings of a run of this one galaxy.
GalaxySettings settings_of(const GalaxyRequest& q) {
  return {q.base_dir, q.filter_dir, q.t_cut_gyr * 1.0E9f, q.phyunits > 0.0f ? q.phyunits : 1.0f, q.ext_corr, false};
}

// What a run says about the galaxy: its console, its warnings and, where it failed, its log.
void take_reports(Galaxy& g, const CapturedReport& r, const veltrane::Galaxy& core) {
  g.ok = r.status.good();
  const Problem& cause = r.status.cause();
  if (!g.ok) g.failure = {cause.file, int(cause.record), cause.reason};
  g.console = r.console.captured();
  g.warnings = standard_error(core.warnings);
  // A good galaxy's log is deleted at its end; a failed one keeps its reports, or gets one.
  if (!g.ok && !r.log.empty()) {
    g.log = r.log.content().text;
  } else if (!g.ok) {
    g.log = end_of_galaxy_report().content().text;  // it failed on the console only
  }
}

// The spectra and magnitudes of a rebuilt galaxy.
void take_products(Galaxy& g, const veltrane::Galaxy& core) {
  const ModelSpectra& s = core.spectra;
  g.wave = head(core.tables.base->b_lambda, s.N_lb);
  g.total = head(s.allssp_f, s.N_lb);
  g.young = head(s.youssp_f, s.N_lb);
  g.old = head(s.oldssp_f, s.N_lb);
  g.red = head(s.red_term, s.N_lb);
  g.ext_wave = head(s.onlambda, s.n_ext);
  g.ext_flux = head(s.onfluxes, s.n_ext);
  g.obs_wave = head(core.fit.o_lambda, core.fit.N_obs);
  g.obs_flux = head(core.fit.o_fluxes, core.fit.N_obs);

  const FilterSet& set = *core.tables.filters;
  g.filters = std::clamp(set.Nfilters, 0, kMaxFilters);
  for (int c = 0; c < kNumSlots; ++c)
    for (int i = 0; i < g.filters; ++i)
      for (int k = 0; k < kSystems; ++k) g.magnitudes.push_back(core.mags.at(i, k, c));
  const FilterResults& fr = core.filter_results;
  g.covered = head(fr.filt_res_a, g.filters);
  g.positive = head(fr.filt_res_b, g.filters);
  g.zero_point = head(fr.filt_zp_v, g.filters);
  g.lambda_eff = head(set.lamb_eff, g.filters);
  g.log_mass = core.log_mass;
}

}  // namespace

Galaxy rebuild(const GalaxyRequest& q, Cache& cache) {
  check_result_path(q.result_file);
  check_directory(q.base_dir, 0, "the base directory");
  check_filter_directory(q.filter_dir);

  const GalaxySettings settings = settings_of(q);
  Galaxy g;
  {
    // As read: the rebuild corrects the observation in place.
    CapturedReport r;
    g.fit = read_result(r, q.result_file, settings.Phyunits);
  }

  // As a run with Fverbose 0 and both tables, in text and ECSV.
  auto core = std::make_unique<veltrane::Galaxy>();
  CapturedReport r(Verbosity::echo);
  const GalaxyLabel label{q.name, q.result_file, q.distance};
  say_galaxy_header(r.console, label, Verbosity::echo);
  InputCache::Session session(cache.impl().cache);
  const Flow flow = rebuild_galaxy(r.context, settings, q.result_file, q.distance, session, Carried{}, *core);
  if (flow == Flow::stop) throw Error(Fault::stop, "the galaxy stops the run", q.result_file, 0, r.console.captured());
  if (!core->fit_read)  // the synthesis result could not be read: nothing to rebuild
    throw Error(Fault::input_file, "cannot read the synthesis result '" + q.result_file + "'", q.result_file, 0,
                r.console.captured());
  TableTexts tables;
  format_tables(r.console, 2, true, *core, label, tables);
  g.mag_text = std::move(tables.mag_text);
  g.spc_text = std::move(tables.spc_text);
  g.mag_ecsv = std::move(tables.mag_ecsv);
  g.spc_ecsv = std::move(tables.spc_ecsv);
  take_reports(g, r, *core);
  take_products(g, *core);
  if (core->filters_replaced)
    g.filter_set =
        std::make_shared<const Filters>(filters_of(core->tables.filters, Weighting::energy, q.filter_dir, nullptr));
  return g;
}

}  // namespace veltrane::facade
