// The extinction laws q(λ) = A(λ)/A_V, λ in Å, single precision. Out of its range a law
// appends its report to the problem log `log_name`, clears `status` and returns 0.0; in
// range it touches neither.
#pragma once

#include <string_view>

namespace veltrane {

class Console;

float CALR_LawOPT(Console& console, float lambda, std::string_view log_name, int& status);
float CCJR_LawOPT(Console& console, float lambda, std::string_view log_name, int& status);
float CCMR_LawOPT(Console& console, float lambda, float R_V, std::string_view log_name, int& status);
// code: "GD1" (SMC bar), "GD2" (LMC2), "GD3" (LMC average); another code is reported and
// returns 0.0.
float GDNR_LawOPT(Console& console, float lambda, std::string_view code, std::string_view log_name,
                  int& status);

}  // namespace veltrane
