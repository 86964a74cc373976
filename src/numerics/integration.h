// Integration of a sampled function over a closed range with one of six rules.
#pragma once

#include <span>

#include "numerics/console.h"

namespace veltrane {

// Rule selected by the mode: 0 R, 1 L, 2 T (trapezoids, the one the system uses), 3 S,
// 4 M, 5 I; any other value selects S.
//
// Integrates F(lambda) (N = lambda.size() samples, strictly increasing wavelengths) over
// [lambda_i, lambda_f]: inner sum over the samples inside, plus edge pieces with values
// interpolated by LINEAR1_Deg where a limit falls between two samples; nothing is
// extrapolated. Up to 20,000 samples. On failure (no overlap, or wavelengths not strictly
// increasing) prints the two-line report on `console`, clears IsKeepOn and returns -999.0.
// Never sets IsKeepOn to 1. Allocates nothing. Should the spans differ in length, N is the
// shorter. Resets LINEAR1_Deg's saved bracket before its interpolations and leaves it where
// the last one put it.
float IntegralALL(std::span<const float> lambda, std::span<const float> F, float lambda_i,
                  float lambda_f, int& IsKeepOn, int mode, Console& console);

// The same integral in the literal weight-array form: N-element weight arrays set to 0.0,
// every weight set, then the straddling weight changed, then the inner sum and the pieces.
// Slow and obvious; IntegralALL must match it bit for bit, saved bracket included.
float IntegralALLLiteral(std::span<const float> lambda, std::span<const float> F,
                         float lambda_i, float lambda_f, int& IsKeepOn, int mode,
                         Console& console);

namespace detail {

// Rule T (mode 2) for the common case: strictly increasing wavelengths that overlap the range
// (the caller has checked both, so IntegralALL would not fail) and an integrand that is 0.0
// at every sample outside [lambda_i, lambda_f]. Gives IntegralALL's result bit for bit: the
// terms outside the range are exactly ±0 and leave the sum unchanged, so only the samples
// around the range are visited (found by binary search); the pieces make the same
// interpolations and leave the same saved bracket.
float integral_t_support(std::span<const float> lambda, std::span<const float> F, float lambda_i,
                         float lambda_f);

}  // namespace detail

}  // namespace veltrane
