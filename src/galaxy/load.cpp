// The inputs of one galaxy, read before anything is computed: its synthesis result, then the
// SSP base the fit used and the filter set, both through the input cache.
#include "galaxy/load.h"

#include <algorithm>
#include <utility>

#include "readers/ssp_base.h"
#include "support/array_reset.h"
#include "textio/format.h"

namespace veltrane {
namespace {

constexpr Rule kIntegrationRule = Rule::T;  // trapezoids

// Sentinels in every slot of the magnitude table and in the per-filter results, so a galaxy
// that fails shows -999.0 wherever it computed nothing itself; no population row of an
// earlier galaxy weighs anything in this one.
void reset_galaxy(Galaxy& g) {
  reset_to_sentinel(g.mags.m);
  for (auto* v : {&g.filter_results.filt_res_a, &g.filter_results.filt_res_b, &g.filter_results.filt_zp_v})
    reset_to_sentinel(*v);
  ModelSpectra& s = g.spectra;
  for (auto* v : {&g.fit.x_j, &g.fit.m2_j, &g.fit.m3_j, &s.x_you, &s.x_old, &s.m2_you, &s.m2_old, &s.m3_you, &s.m3_old})
    reset_to_zero(*v);
  g.log_mass.fill(kSentinel);
  g.fit_read = g.rebuilt = g.base_replaced = g.filters_replaced = false;
  g.cut_at_limit.clear();
  g.warnings.clear();
}

// The SSP base the fit names (base_SSP's used part, then arq_info(2)), then, for a galaxy
// still good, the filter set.
Flow load_base_and_filters(ReportContext& report, const GalaxySettings& settings, InputCache::Session& session,
                           Galaxy& g) {
  const FitResult& fit = g.fit;
  const std::string base_dir = textio::used_part(settings.base_dir);
  const BaseRequest request{textio::cut_text(base_dir + fit.arq_info[1]), base_dir, fit.Olsynini, fit.Olsynfin,
                            fit.Num_base};
  BaseRead read = Read_BASpec(report, session, request);
  g.Num_base = read.Num_base;
  g.cut_at_limit = std::move(read.cut_at_limit);
  if (read.replaced) g.tables.base = std::move(read.tables);
  g.base_replaced = read.replaced;
  if (read.flow == Flow::stop) return Flow::stop;
  if (report.status.good()) {
    const auto load = session.filters(report, textio::used_part(settings.filter_dir), kIntegrationRule);
    if (load->flow == Flow::stop) return Flow::stop;
    g.tables.filters = load->set;
    g.filters_replaced = true;
  }
  return Flow::go_on;
}

}  // namespace

Flow load_galaxy(ReportContext& report, const GalaxySettings& settings, const std::string& arq_synt,
                 InputCache::Session& session, const Carried& before, Galaxy& g) {
  reset_galaxy(g);
  g.arq_synt = arq_synt;
  g.tables = before;
  report.subject = arq_synt;  // what the computation's problems name
  Read_Out_KW(report, arq_synt, settings.Phyunits, g.fit,
              [&session](const std::string& path) { return session.open(path); });
  g.fit_read = report.status.good();
  g.Num_base = g.fit.Num_base;
  if (!g.fit_read) return Flow::go_on;
  return load_base_and_filters(report, settings, session, g);
}

}  // namespace veltrane
