// The six integration rules exactly as they are written with weight arrays (1-based, element
// 0 unused, F(N + 1) = 0.0): the reference that integration.cpp's on-the-fly weights match.
#include <algorithm>
#include <limits>
#include <vector>

#include "numerics/integration.h"
#include "numerics/interpolation.h"
#include "support/limits.h"

namespace veltrane {

float IntegralALLLiteral(ReportContext& report, std::span<const float> lambda, std::span<const float> F, float li,
                         float lf, Rule rule) {
  const int N = static_cast<int>(std::min(lambda.size(), F.size()));
  lambda = lambda.first(std::size_t(N));
  F = F.first(std::size_t(N));
  if (const char* failure = detail::integration_failure(lambda, li, lf)) {
    report.console_problem(failure, detail::integration_failure_reason(failure, li, lf));
    return kSentinel;
  }
  if (N == 1) return 0.0f;

  using Vec = std::vector<float>;
  const auto U = std::size_t(N + 2);
  Vec L(U, 0.0f), Fv(U, 0.0f);
  for (int k = 1; k <= N; ++k) {
    L[std::size_t(k)] = lambda[std::size_t(k - 1)];
    Fv[std::size_t(k)] = F[std::size_t(k - 1)];
  }
  Vec sr(U, 0.0f), sl(U, 0.0f), st(U, 0.0f), sm(U, 0.0f), sw(U, 0.0f), sz(U, 0.0f);
  const auto at = [](Vec& v, int k) -> float& { return v[std::size_t(k)]; };

  int n_eq_i = 0, n_eq_f = 0, n_below_i = 0, n_above_f = 0;
  float next = std::numeric_limits<float>::max();
  float prev = -std::numeric_limits<float>::max();
  for (int k = 1; k <= N; ++k) {
    const float v = at(L, k);
    n_eq_i += v == li;
    n_eq_f += v == lf;
    n_below_i += v < li;
    n_above_f += v > lf;
    if (v > li && v < next) next = v;
    if (v < lf && v > prev) prev = v;
  }
  const auto inside = [&](int k) { return li <= at(L, k) && at(L, k) <= lf; };
  const bool left = n_eq_i == 0 && n_below_i > 0;
  const bool right = n_eq_f == 0 && n_above_f > 0;
  int ilast = -999;
  const auto f = [&](float x) { return LINEAR1_Deg(x, lambda, F, ilast); };
  float inner = 0.0f, lp = 0.0f, rp = 0.0f;

  switch (rule) {
    case Rule::R: {
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(sr, k) = at(L, k + 1) - at(L, k);
      int K = 1;
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) K = k;
      if (lf < at(L, N)) at(sr, K) = 0.0f;
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(sr, k);
      if (left) lp = (next - li) * f(li);
      if (right) rp = (lf - prev) * f(prev);
      return (inner + lp) + rp;
    }
    case Rule::L: {
      for (int k = 2; k <= N; ++k)
        if (inside(k)) at(sl, k) = at(L, k) - at(L, k - 1);
      int J = 1;
      for (int k = 2; k <= N; ++k)
        if (at(L, k) <= li) J = k;
      if (n_eq_i == 1) {
        at(sl, J) = 0.0f;
      } else if (n_eq_i == 0 && n_below_i > 0) {
        at(sl, J + 1) = 0.0f;
      }
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(sl, k);
      if (left) lp = (next - li) * f(next);
      if (right) rp = (lf - prev) * f(lf);
      return (inner + lp) + rp;
    }
    case Rule::T: {
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(st, k) = at(L, k + 1) - at(L, k);
      int K = 1;
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) K = k;
      if (lf < at(L, N)) at(st, K) = 0.0f;
      for (int k = 1; k <= N; ++k) at(sw, k) = k < N ? at(Fv, k + 1) : 0.0f;  // F shifted
      for (int k = 1; k <= N; ++k) at(sm, k) = 0.5f * (at(Fv, k) + at(sw, k));
      for (int k = 1; k <= N; ++k) inner += at(sm, k) * at(st, k);
      if (left) {
        const float a = f(li);
        const float b = f(next);
        lp = 0.5f * (a + b) * (next - li);
      }
      if (right) {
        const float a = f(prev);
        const float b = f(lf);
        rp = 0.5f * (a + b) * (lf - prev);
      }
      return (inner + lp) + rp;
    }
    case Rule::M:
    case Rule::I: {  // intervals wholly inside, midpoints interpolated in increasing order
      const bool simpson = rule == Rule::I;
      for (int k = 1; k <= N - 1; ++k) {
        if (li <= at(L, k) && at(L, k + 1) <= lf) {
          if (simpson) {
            at(sw, k) = (at(L, k + 1) - at(L, k)) / 6.0f;
            at(sz, k) = f((at(L, k + 1) + at(L, k)) * 0.5f);
          } else {
            at(sw, k) = at(L, k + 1) - at(L, k);
            at(sm, k) = at(L, k) + 0.5f * at(sw, k);
            at(sz, k) = f(at(sm, k));
          }
        }
      }
      for (int k = 1; k <= N; ++k)
        inner += simpson ? (at(Fv, k) + at(Fv, k + 1) + 4.0f * at(sz, k)) * at(sw, k) : at(sw, k) * at(sz, k);
      ilast = -999;
      const float a = next - li;
      const float b = lf - prev;
      if (simpson) {
        if (left) {
          const float fa = f(li);
          const float fb = f(next);
          lp = (a / 6.0f) * (fa + fb + 4.0f * f((next + li) * 0.5f));
        }
        if (right) {
          const float fa = f(prev);
          const float fb = f(lf);
          rp = (b / 6.0f) * (fa + fb + 4.0f * f((prev + lf) * 0.5f));
        }
      } else {
        if (left) lp = a * f(li + 0.5f * a);
        if (right) rp = b * f(prev + 0.5f * b);
      }
      return (inner + lp) + rp;
    }
    case Rule::S: {
      for (int k = 1; k <= N - 1; ++k)
        if (inside(k)) at(st, k) = at(L, k + 1) - at(L, k);
      if (inside(N)) at(st, N) = at(st, N - 1);
      int K = 1;
      for (int k = 1; k <= N; ++k)
        if (inside(k)) K = k;
      if (n_eq_f == 1 && K >= 2) at(st, K) = at(st, K - 1);
      if (right) at(st, K) = lf - prev;
      for (int k = 1; k <= N; ++k) inner += at(Fv, k) * at(st, k);
      if (left) lp = (next - li) * f(li);
      if (right) rp = (lf - prev) * f(lf);
      return ((0.0f + lp) + rp) + inner;
    }
  }
  return 0.0f;
}

}  // namespace veltrane
