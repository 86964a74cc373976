// The stellar masses of a galaxy: log10 of M in M_sun from the fit's mass totals, the physical
// units and the distance. See docs/formulae.md for the distance term.
#include "galaxy/masses.h"

#include <algorithm>
#include <cmath>

namespace veltrane {
namespace {

constexpr float kLogSunLuminosity = 33.582745f;  // log10 of L_sun in erg/s

// log10 of 4πd² with d in Mpc expressed in cm; 0 without a distance.
float distance_term(float distance) {
  if (distance > 0.0f) return std::log10((distance * distance) * 12.566371f) + 48.97879f;
  return 0.0f;
}

}  // namespace

std::array<float, 6> log_masses(const Galaxy& g, float Phyunits, float distance) {
  const float dist_term = distance_term(distance);
  const FitResult& fit = g.fit;
  const ModelSpectra& s = g.spectra;
  const float L = std::log10(Phyunits);
  auto total = [&](float m) { return ((std::log10(m) - kLogSunLuminosity) + L) + dist_term; };
  const int ssps = std::min(g.Num_base, kMaxSsp);
  auto part = [&](const std::vector<float>& column, float m) {
    if (ssps < 1) return kSentinel;
    float sum = 0.0f;
    for (int j = 0; j < ssps; ++j) sum = sum + column[j];
    if (!(sum > 0.0f)) return kSentinel;
    return ((std::log10((m * sum) / 100.0f) - kLogSunLuminosity) + L) + dist_term;
  };
  return {total(fit.mass_tot_3),          total(fit.mass_tot_2),          part(s.m3_you, fit.mass_tot_3),
          part(s.m2_you, fit.mass_tot_2), part(s.m3_old, fit.mass_tot_3), part(s.m2_old, fit.mass_tot_2)};
}

}  // namespace veltrane
