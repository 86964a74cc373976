#include <algorithm>
#include <stdexcept>

#include "numerics/interpolation.h"
#include "numerics/problem_log.h"
#include "readers/ssp_base.h"

namespace veltrane {

float StatsReNorm(Console& console, float x, std::span<const float> b_lambda,
                  std::span<const float> F, int& IsKeepOn) {
  if (F.size() < b_lambda.size()) throw std::invalid_argument("StatsReNorm: F shorter than the grid");
  const auto failure = [&](std::string_view message) {
    console.say(kProblemHeader);
    console.say(message);
    IsKeepOn = 0;
    return kSentinel;
  };

  // Strictly increasing: equal neighbours and NaN wavelengths break the order.
  const auto not_increasing = std::adjacent_find(b_lambda.begin(), b_lambda.end(),
                                                 [](float a, float b) { return !(a < b); });
  if (not_increasing != b_lambda.end()) return failure("[StatsReNorm] λ is not in increasing @");

  // An empty grid has no range, and a NaN x lies nowhere on it.
  if (b_lambda.empty()) return failure("[StatsReNorm] λ is out of range @@@@@@");
  const float llow_lim = b_lambda.front();
  const float lupp_lim = b_lambda.back();
  if (!(llow_lim <= x && x <= lupp_lim)) return failure("[StatsReNorm] λ is out of range @@@@@@");

  int ilastval = -999;  // a fresh bracket search from the first grid point
  return LINEAR1_Deg(x, b_lambda, F.first(b_lambda.size()), ilastval);
}

}  // namespace veltrane
