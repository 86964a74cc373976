// The six extinction laws, the reddening term a run computes over its base grid, and the
// reddening and de-reddening of spectra with it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "extinction/laws.h"
#include "extinction/red_term.h"
#include "facade_internal.h"
#include "numerics/renorm.h"
#include "support/report.h"

namespace veltrane::facade {

using namespace detail;

namespace {

// A checked code's law at λ; CCM with the given R_V.
LawValue law_at(ReportContext& report, LawCode code, float r_v, float lambda) {
  return code == LawCode::CCM ? CCMR_LawOPT(report, lambda, r_v) : evaluate_law(report, code, lambda);
}

// The laws append one report per wavelength out of range: a fresh log per block keeps that
// from growing with the array.
constexpr std::size_t kBlock = 4096;

std::string range_of(const std::string& code) {
  if (code == "CAL") return "1200-22000 Å";
  if (code == "CCJ") return "912-31149 Å";
  if (code == "CCM") return "1000-33333 Å";
  return "1194-21978 Å (0.455-8.375 μm⁻¹)";
}

// The law of a code given exactly (no trailing blank either, unlike a synthesis result's).
LawCode law_code(const std::string& code) {
  if (std::find(veltrane::kLawCodes.begin(), veltrane::kLawCodes.end(), code) == veltrane::kLawCodes.end())
    fail(Fault::value, "unknown extinction law '" + code + "': use CAL, CCJ, CCM, GD1, GD2 or GD3");
  return *law_of_code(code);
}

// A checked law at λ_norm, apart from any array's reports.
LawValue law_at_norm(LawCode law, float lambda_norm) {
  CapturedReport r;
  return evaluate_law(r.context, law, lambda_norm);
}

}  // namespace

std::vector<std::string> law_codes() { return {veltrane::kLawCodes.begin(), veltrane::kLawCodes.end()}; }

void check_law(const std::string& code) { (void)law_code(code); }

void law_values(const std::string& code, float r_v, std::span<const float> wave, std::span<float> q,
                std::span<std::uint8_t> in_range) {
  const LawCode law = law_code(code);
  for (std::size_t at = 0; at < wave.size(); at += kBlock) {
    CapturedReport r;
    for (std::size_t i = at; i < std::min(wave.size(), at + kBlock); ++i) {
      const LawValue v = law_at(r.context, law, r_v, wave[i]);
      q[i] = v.q;
      if (!in_range.empty()) in_range[i] = std::uint8_t(v.in_range);
    }
  }
}

float red_term(const std::string& code, float lambda_norm, std::span<const float> wave, std::span<float> red,
               std::span<std::uint8_t> in_range) {
  const LawCode law = law_code(code);
  if (!law_at_norm(law, lambda_norm).in_range)
    fail(Fault::value,
         "lambda_norm = " + show(lambda_norm) + " Å is outside the range of law " + code + " (" + range_of(code) + ")");
  for (std::size_t k = 0; k < wave.size(); ++k)
    if (!(wave[k] > 0.0f) || !std::isfinite(wave[k]))
      fail(Fault::value,
           "wavelength " + std::to_string(k) + " is not a positive finite number (" + show(wave[k]) + ")");
  float q_norm = 0.0f;
  for (std::size_t at = 0; at < wave.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, wave.size() - at);
    CapturedReport r;
    q_norm = EvalRedTerm(r.context, wave.subspan(at, n), red.subspan(at, n), lambda_norm, code);
  }
  if (!in_range.empty()) {
    std::vector<float> q(wave.size());
    law_values(code, 3.1f, wave, q, in_range);
  }
  if (wave.empty()) q_norm = law_at_norm(law, lambda_norm).q;
  return q_norm;
}

void redden(float a_v, std::span<const float> red, std::span<const float> flux, std::span<float> out) {
  // The models of a run: flux × (units × 10^(A_V r)), here with units 1.
  for (std::size_t i = 0; i < flux.size(); ++i) out[i] = flux[i] * (1.0f * std::pow(10.0f, a_v * red[i]));
}

void deredden(float a_v, float q_norm, std::span<const float> red, std::span<const float> flux, std::span<float> out) {
  for (std::size_t i = 0; i < flux.size(); ++i) out[i] = flux[i] * std::pow(10.0f, (0.4f * q_norm - red[i]) * a_v);
}

float red_term_on_grid(const std::string& code, float lambda_norm, std::span<const float> grid,
                       std::span<const float> wave, std::span<float> red) {
  std::vector<float> on_grid(grid.size());
  const float q_norm = red_term(code, lambda_norm, grid, on_grid, {});
  const BaseGrid checked(grid);
  if (!checked.increasing) fail(Fault::value, "the grid's wavelengths must increase strictly");
  for (std::size_t i = 0; i < wave.size(); ++i) {
    CapturedReport r;
    red[i] = StatsReNorm(r.context, wave[i], checked, on_grid);
    if (r.context.failed())
      fail(Fault::value, "wavelength " + std::to_string(i) + " (" + show(wave[i]) + " Å) is outside the grid (" +
                             show(grid.front()) + "-" + show(grid.back()) + " Å)");
  }
  return q_norm;
}

}  // namespace veltrane::facade
