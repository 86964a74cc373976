#include "galaxy/galaxy.h"

#include "galaxy/compute.h"
#include "galaxy/load.h"
#include "galaxy/masses.h"

namespace veltrane {

Flow rebuild_galaxy(ReportContext& report, const GalaxySettings& settings, const std::string& arq_synt, float distance,
                    InputCache::Session& session, const Carried& before, Galaxy& g) {
  Flow flow = load_galaxy(report, settings, arq_synt, session, before, g);
  if (flow == Flow::go_on && g.fit_read) flow = compute_galaxy(report, settings, session, g);
  if (g.rebuilt) g.log_mass = log_masses(g, settings.Phyunits, distance);
  for (const std::string& f : g.cut_at_limit)
    g.warnings.push_back("galaxy " + arq_synt + ": SSP file " + f +
                         " reaches the 10,000-point limit: points after the 10,000th are not read");
  return flow;
}

}  // namespace veltrane
