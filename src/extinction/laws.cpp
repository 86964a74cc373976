#include "extinction/laws.h"

#include <cmath>
#include <initializer_list>
#include <string>

#include "extinction/law_tables.h"
#include "support/problem_log.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// 2.659 / 4.05: the Calzetti k(λ) polynomials rescaled to A(λ)/A_V.
constexpr float kCalFactor = 0.6565431356430054f;

LawValue in_range(float q) { return {q, true}; }

// Out of range: one report appended to the log (`lines`: whole records), q = 0.0.
[[gnu::cold, gnu::noinline]] LawValue out_of_range(ReportContext& report, std::string_view lines) {
  report.log.report_text(LogMode::append, lines);
  return {0.0f, false};
}

// Records of the lines given, each indented ("(4x,a)").
std::string records(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view l : lines) text.append(indent(l)).push_back('\n');
  return text;
}

// The report of a law's range. verbatim: the lines, and the `range` texts of the laws below
// ("l" for λ, "&" where "or" is meant, 0912 with its zero).
std::string range_lines(std::string_view routine, std::string_view range) {
  return records({"[EvalRedTerm] FUNCTION --- " + std::string(routine), "[EvalRedTerm] " + std::string(range),
                  "[EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@"});
}

// Calzetti blue branch, 1200 (or 1846) Å < λ ≤ 6300 Å.
float calzetti_blue(float x) {
  float t = 1.509f * x - 2.156f;
  t = t - (0.198f * x) * x;
  t = t + ((0.011f * x) * x) * x;
  return t * kCalFactor + 1.0f;
}

// Calzetti red branch, 6300 Å < λ.
float calzetti_red(float x) { return (1.04f * x - 1.857f) * kCalFactor + 1.0f; }

}  // namespace

std::optional<LawCode> law_of_code(std::string_view code) {
  const std::string_view c = textio::trim_right(code);
  for (std::size_t k = 0; k < kLawCodes.size(); ++k)
    if (c == kLawCodes[k]) return static_cast<LawCode>(k);
  return std::nullopt;
}

LawValue CALR_LawOPT(ReportContext& report, float lambda) {
  const float x = 10000.0f / lambda;
  if (lambda >= 1200.0f && lambda <= 6300.0f) return in_range(calzetti_blue(x));
  if (lambda > 6300.0f && lambda <= 22000.0f) return in_range(calzetti_red(x));
  static const std::string lines = range_lines("CALR_LawOPT", "l < 1200 Å & l > 22000 Å");  // made once
  return out_of_range(report, lines);
}

LawValue CCJR_LawOPT(ReportContext& report, float lambda) {
  const float x = 10000.0f / lambda;
  if (lambda >= 912.0f && lambda <= 1846.0f) {
    float t = 0.671f * x + 5.472f;
    t = t - (0.009218f * x) * x;
    t = t + ((0.00262f * x) * x) * x;
    return in_range(t / 4.05f);
  }
  if (lambda > 1846.0f && lambda <= 6300.0f) return in_range(calzetti_blue(x));
  if (lambda > 6300.0f && lambda <= 31149.0f) return in_range(calzetti_red(x));
  static const std::string lines = range_lines("CCJR_LawOPT", "l < 0912 Å & l > 31149 Å");  // made once
  return out_of_range(report, lines);
}

LawValue CCMR_LawOPT(ReportContext& report, float lambda, float R_V) {
  const float x = 10000.0f / lambda;
  float a = 0.0f;
  float b = 0.0f;
  // The intervals are tested blue to red, so a boundary x belongs to the bluer one. A NaN or
  // negative λ fails every test.
  if (x >= 8.0f && x <= 10.0f) {
    const float y = x - 8.0f;
    a = ((-1.073f - 0.628f * y) + (0.137f * y) * y) - ((0.070f * y) * y) * y;
    b = ((4.257f * y + 13.670f) - (0.420f * y) * y) + ((0.374f * y) * y) * y;
  } else if (x >= 3.3f && x < 8.0f) {
    float fa = 0.0f;
    float fb = 0.0f;
    if (x >= 5.9f) {
      const float y = x - 5.9f;
      fa = (-0.04473f * y) * y - ((0.009779f * y) * y) * y;
      fb = (0.2130f * y) * y + ((0.1207f * y) * y) * y;
    }
    // One bump centre, 4.67 μm⁻¹, in both denominators (CCM's b(x) has 4.62).
    const float d = x - 4.67f;
    a = ((1.752f - 0.316f * x) - 0.104f / (d * d + 0.341f)) + fa;
    b = ((1.825f * x - 3.090f) + 1.206f / (d * d + 0.263f)) + fb;
  } else if (x >= 1.1f && x < 3.3f) {
    const float y = x - 1.82f;
    a = 1.0f + 0.17699f * y;
    a = a - (0.50447f * y) * y;
    a = a - ((0.02427f * y) * y) * y;
    a = a + (((0.72085f * y) * y) * y) * y;
    a = a + ((((0.01979f * y) * y) * y) * y) * y;
    a = a - (((((0.77530f * y) * y) * y) * y) * y) * y;
    a = a + ((((((0.32999f * y) * y) * y) * y) * y) * y) * y;
    b = 1.41338f * y;
    b = b + (2.28305f * y) * y;
    b = b + ((1.07233f * y) * y) * y;
    b = b - (((5.38434f * y) * y) * y) * y;
    b = b - ((((0.62251f * y) * y) * y) * y) * y;
    b = b + (((((5.30260f * y) * y) * y) * y) * y) * y;
    b = b - ((((((2.09002f * y) * y) * y) * y) * y) * y) * y;
  } else if (x >= 0.3f && x < 1.1f) {
    const float p = std::pow(x, 1.61f);
    a = 0.574f * p;
    b = -0.527f * p;
  } else {
    static const std::string lines = range_lines("CCMR_LawOPT", "l < 1000 Å & l > 33333 Å");  // made once
    return out_of_range(report, lines);
  }
  return in_range(b / R_V + a);
}

namespace {

// The tabulated law of ordinates q (on x_gordon) at λ.
LawValue gordon_law(ReportContext& report, float lambda, const float* q) {
  const float x = 10000.0f / lambda;
  const auto& xg = gordon::x_gordon;
  // The first interval that holds x: an inner abscissa belongs to the interval ending there.
  for (int k = 0; k + 1 < gordon::kRows; ++k) {
    if (xg[k] <= x && x <= xg[k + 1]) {
      return in_range(((q[k + 1] - q[k]) * (x - xg[k])) / (xg[k + 1] - xg[k]) + q[k]);
    }
  }
  // verbatim: "Table 4" is the table of the paper the tabulated laws come from.
  static const std::string lines =
      records({"[EvalRedTerm] ... q_Gordon: 0 @@@@@@@@", "[EvalRedTerm] lambda is out of Table 4"});  // made once
  return out_of_range(report, lines);
}

// The ordinates of a tabulated law; nullptr for the other codes.
const float* gordon_table(std::optional<LawCode> law) {
  if (law == LawCode::GD1) return gordon::q_smcbar.data();
  if (law == LawCode::GD2) return gordon::q_g_lmc2.data();
  if (law == LawCode::GD3) return gordon::q_lmcave.data();
  return nullptr;
}

}  // namespace

LawValue GDNR_LawOPT(ReportContext& report, float lambda, std::string_view code) {
  const float* q = gordon_table(law_of_code(code));
  if (q == nullptr) {
    return out_of_range(report, records({"[EvalRedTerm] ... q_Gordon: Bad extinction law ==> " +
                                         std::string(textio::adjust_trim(code))}));
  }
  return gordon_law(report, lambda, q);
}

LawValue evaluate_law(ReportContext& report, LawCode code, float lambda) {
  switch (code) {
    case LawCode::CAL: return CALR_LawOPT(report, lambda);
    case LawCode::CCM: return CCMR_LawOPT(report, lambda, 3.1f);
    case LawCode::GD1:
    case LawCode::GD2:
    case LawCode::GD3: return gordon_law(report, lambda, gordon_table(code));  // the table, found once
    case LawCode::CCJ: break;
  }
  return CCJR_LawOPT(report, lambda);
}

}  // namespace veltrane
