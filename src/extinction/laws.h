// The extinction laws q(λ) = A(λ)/A_V, λ in Å, single precision. Each forms x = 10000/λ
// (μm⁻¹) first and evaluates its polynomials in a fixed order, so results are reproducible
// to the last bit. Out of its range (NaN and λ ≤ 0 included) a law appends its report to
// the context's problem log and returns q = 0.0 marked out of range; whether that fails
// the model is its caller's decision (EvalRedTerm). In range it reports nothing.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "support/report.h"

namespace veltrane {

// The six law codes of a synthesis result, in the order of LawCode.
enum class LawCode { CAL, CCJ, CCM, GD1, GD2, GD3 };
inline constexpr std::array<std::string_view, 6> kLawCodes = {"CAL", "CCJ", "CCM", "GD1", "GD2", "GD3"};
// The law a code names, compared exactly with trailing blanks ignored (a leading blank or
// lower-case letters name none); nullopt for any other text.
std::optional<LawCode> law_of_code(std::string_view code);

struct LawValue {
  float q = 0.0f;         // A(λ)/A_V; 0.0 out of range
  bool in_range = false;  // false: the law appended its report
};

// Calzetti et al. (2000) starburst law, k(λ)/4.05; valid for 1200 Å ≤ λ ≤ 22000 Å.
LawValue CALR_LawOPT(ReportContext& report, float lambda);
// The Calzetti law with a far-ultraviolet polynomial for 912–1846 Å and its infrared branch
// carried to 31149 Å; valid for 912 Å ≤ λ ≤ 31149 Å.
LawValue CCJR_LawOPT(ReportContext& report, float lambda);
// Cardelli, Clayton & Mathis (1989) with ratio R_V, except that the ultraviolet b(x) uses the
// bump centre 4.67 like a(x); valid for 0.3 ≤ x ≤ 10 (1000 Å ≤ λ ≤ 33333 Å).
LawValue CCMR_LawOPT(ReportContext& report, float lambda, float R_V);
// The Gordon et al. (2003) tables, linear in x; valid for 0.455 ≤ x ≤ 8.375.
// code: "GD1" (SMC bar), "GD2" (LMC2), "GD3" (LMC average), trailing blanks ignored; another
// code is reported as a bad law and treated as out of range.
LawValue GDNR_LawOPT(ReportContext& report, float lambda, std::string_view code);

// The law that `code` names at λ ("CCM" with R_V = 3.1).
LawValue evaluate_law(ReportContext& report, LawCode code, float lambda);

}  // namespace veltrane
