// Linear interpolation in a table, with the saved bracket (one per thread) that makes sweeps
// of increasing abscissae cheap.
#pragma once

#include <span>

namespace veltrane {

// The value of the tabulated function (xarr, yarr), n = xarr.size() points with strictly
// increasing abscissae, at x; 0.0 outside [xarr(1), xarr(n)] (no extrapolation) and for
// n < 2. `ilastval` < 1 on entry asks for a fresh search from the start of the table; on
// return it holds the saved bracket as it was on entry (1 after a reset). The saved bracket
// moves to the bracket used. Should yarr be shorter than xarr, only its points count.
// Prints nothing, allocates nothing.
float LINEAR1_Deg(float x, std::span<const float> xarr, std::span<const float> yarr, int& ilastval);

// The same for a table known to be strictly increasing (no NaN): the two scans become
// binary searches with the same results, the same bracket and the same saved bracket.
float LINEAR1_Deg_increasing(float x, std::span<const float> xarr, std::span<const float> yarr, int& ilastval);

// The saved bracket `ilastnum` (1-based; 1 before the first call): the system's only hidden
// state, one per thread. Exposed for tests and for the fast paths that must leave it where
// the literal ones would.
int saved_bracket();
void set_saved_bracket(int value);

}  // namespace veltrane
