// The tabulated extinction laws of Gordon et al. (2003, ApJ 594, 279, their Table 4):
// q = A(λ)/A_V at 29 inverse wavelengths, shared by the three curves. The values are used
// exactly as listed, including the non-monotonic rows; nothing smooths them.
#pragma once

#include <array>

namespace veltrane::gordon {

inline constexpr int kRows = 29;

// Inverse wavelength in μm⁻¹, increasing (0.455 ≈ 21978 Å, 8.375 ≈ 1194 Å).
inline constexpr std::array<float, kRows> x_gordon = {0.455f, 0.606f, 0.800f, 1.235f, 1.538f, 1.818f, 2.273f, 2.703f,
                                                      3.375f, 3.625f, 3.875f, 4.125f, 4.375f, 4.625f, 4.875f, 5.125f,
                                                      5.375f, 5.625f, 5.875f, 6.125f, 6.375f, 6.625f, 6.875f, 7.125f,
                                                      7.375f, 7.625f, 7.875f, 8.125f, 8.375f};

// "GD1": SMC bar.
inline constexpr std::array<float, kRows> q_smcbar = {0.016f, 0.169f, 0.131f, 0.567f, 0.801f, 1.000f, 1.374f, 1.672f,
                                                      2.000f, 2.220f, 2.428f, 2.661f, 2.947f, 3.161f, 3.293f, 3.489f,
                                                      3.637f, 3.866f, 4.013f, 4.243f, 4.472f, 4.776f, 5.000f, 5.272f,
                                                      5.575f, 5.795f, 6.074f, 6.297f, 6.436f};

// "GD2": LMC2 supershell.
inline constexpr std::array<float, kRows> q_g_lmc2 = {0.101f, 0.097f, 0.299f, 0.5004f, 0.760f, 1.000f, 1.349f, 1.665f,
                                                      1.899f, 2.067f, 2.249f, 2.447f,  2.777f, 2.922f, 2.921f, 2.812f,
                                                      2.805f, 2.863f, 2.932f, 3.060f,  3.110f, 3.299f, 3.408f, 3.515f,
                                                      3.670f, 3.862f, 3.937f, 4.055f,  3.969f};

// "GD3": LMC average.
inline constexpr std::array<float, kRows> q_lmcave = {0.030f, 0.186f, 0.257f, 0.4705f, 0.7457f, 1.000f, 1.293f, 1.518f,
                                                      1.786f, 1.969f, 2.149f, 2.391f,  2.771f,  2.967f, 2.846f, 2.646f,
                                                      2.565f, 2.566f, 2.598f, 2.607f,  2.668f,  2.787f, 2.874f, 2.983f,
                                                      3.118f, 3.231f, 3.374f, 3.366f,  3.467f};

}  // namespace veltrane::gordon
