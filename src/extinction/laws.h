// The extinction laws q(λ) = A(λ)/A_V, λ in Å, single precision. Each forms x = 10000/λ
// (μm⁻¹) first and evaluates its polynomials in a fixed order, so results are reproducible
// to the last bit. Out of its range (NaN and λ ≤ 0 included) a law appends its report to
// the model's problem log, clears `status` and returns 0.0; in range it touches neither.
#pragma once

#include <string_view>

namespace veltrane {

class ProblemLog;

// Calzetti et al. (2000) starburst law, k(λ)/4.05; valid for 1200 Å ≤ λ ≤ 22000 Å.
float CALR_LawOPT(float lambda, ProblemLog& log, int& status);
// The Calzetti law with a far-ultraviolet polynomial for 912–1846 Å and its infrared branch
// carried to 31149 Å; valid for 912 Å ≤ λ ≤ 31149 Å.
float CCJR_LawOPT(float lambda, ProblemLog& log, int& status);
// Cardelli, Clayton & Mathis (1989) with ratio R_V, except that the ultraviolet b(x) uses the
// bump centre 4.67 like a(x); valid for 0.3 ≤ x ≤ 10 (1000 Å ≤ λ ≤ 33333 Å).
float CCMR_LawOPT(float lambda, float R_V, ProblemLog& log, int& status);
// The Gordon et al. (2003) tables, linear in x; valid for 0.455 ≤ x ≤ 8.375.
// code: "GD1" (SMC bar), "GD2" (LMC2), "GD3" (LMC average), trailing blanks ignored; another
// code is reported as a bad law, clears `status` and returns 0.0.
float GDNR_LawOPT(float lambda, std::string_view code, ProblemLog& log, int& status);

}  // namespace veltrane
