// The weighted sums of the SSP spectra that make a galaxy's total, young and old model
// spectra, one SSP at a time.
#pragma once

#include <span>

namespace veltrane {

// The weights of one SSP in the three sums (x_j / 100 and its young and old copies: each is
// either the total's weight, bit for bit, or zero).
struct SspWeights {
  float all = 0.0f, young = 0.0f, old = 0.0f;
};

// sum[i] + ((f[i] × w) / S) into each of the three sums for i < f.size() (the sums at least
// as long), w the sum's weight, in single precision. `finite`: f holds no NaN or infinity.
// The literal form computes every term of every sum one point at a time. Otherwise a sum of
// weight ±0 (with f finite and S neither 0 nor NaN: its terms are all ±0 and leave a sum
// that started at +0.0 as it is) is skipped, a term shared by two sums of the same weight is
// computed once for both, and eight points (four without AVX2) are taken at a time, each lane
// in the same operations: the same sums bit for bit.
void add_ssp(std::span<float> all, std::span<float> young, std::span<float> old, std::span<const float> f, SspWeights w,
             float S, bool finite, bool literal);

}  // namespace veltrane
