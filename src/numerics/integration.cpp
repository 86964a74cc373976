#include "numerics/integration.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>

#include "numerics/interpolation.h"
#include "support/limits.h"

// The weights of every rule are computed on the fly, one sample at a time, in the order the
// weight-array form of the rules defines them (every weight set, then the straddling
// weight zeroed or replaced). The inner sum runs over all N samples in increasing order,
// zero weights included, so a non-finite value outside the range propagates exactly as it
// does through the array form (IntegralALLLiteral, integration_literal.cpp).

namespace veltrane {

Rule rule_of(int mode) {
  switch (mode) {
    case 0: return Rule::R;
    case 1: return Rule::L;
    case 2: return Rule::T;
    case 4: return Rule::M;
    case 5: return Rule::I;
    default: return Rule::S;
  }
}

namespace {

// The edge pieces of one integration: 0.0 where a limit adds none.
struct Pieces {
  float left = 0.0f;
  float right = 0.0f;
};

// One integration: the samples with 1-based access, the limits and the derived counts.
class Integration {
 public:
  Integration(std::span<const float> lambda, std::span<const float> F, float lambda_i, float lambda_f)
      : lam_(lambda), F_(F), n_(static_cast<int>(lambda.size())), li_(lambda_i), lf_(lambda_f) {}

  float integrate(Rule rule);

 private:
  float lam(int k) const { return lam_[static_cast<std::size_t>(k - 1)]; }
  float F(int k) const { return F_[static_cast<std::size_t>(k - 1)]; }
  bool inside(int k) const { return li_ <= lam(k) && lam(k) <= lf_; }

  void count();
  // f(x): the interpolated value on (lambda, F), carrying the bracket in `ilastval_`.
  float f(float x) { return LINEAR1_Deg(x, lam_, F_, ilastval_); }
  void reset_search() { ilastval_ = -999; }
  // The pieces of a limit strictly between two samples, `left` and `right` computing them
  // in this order after a fresh bracket search.
  template <class Left, class Right>
  Pieces pieces(Left left, Right right) {
    reset_search();
    Pieces p;
    if (left_applies_) p.left = left();
    if (right_applies_) p.right = right();
    return p;
  }
  // Largest k in 1..last whose sample is inside, or 1 when there is none.
  int last_inside(int last) const {
    for (int k = last; k >= 1; --k)
      if (inside(k)) return k;
    return 1;
  }
  // The interval [lam(K), lam(K+1)] that R and T drop when lambda_f lies below the last
  // sample (the right piece replaces it); 0 when none is dropped.
  int dropped_before_f() const { return lf_ < lam(n_) ? last_inside(n_ - 1) : 0; }

  float rule_R();
  float rule_L();
  float rule_T();
  float rule_S();
  float rule_MI(Rule rule);

  std::span<const float> lam_;
  std::span<const float> F_;
  int n_;
  float li_;
  float lf_;
  int n_eq_i_ = 0;
  int n_eq_f_ = 0;
  int n_below_i_ = 0;
  int n_above_f_ = 0;
  float next_ = 0.0f;  // lambda_next: the first sample above lambda_i
  float prev_ = 0.0f;  // lambda_prev: the last sample below lambda_f
  bool left_applies_ = false;
  bool right_applies_ = false;
  int ilastval_ = -999;
};

void Integration::count() {
  constexpr float kHuge = std::numeric_limits<float>::max();
  next_ = kHuge;
  prev_ = -kHuge;
  bool has_next = false;
  bool has_prev = false;
  for (int k = 1; k <= n_; ++k) {
    const float v = lam(k);
    if (v == li_) ++n_eq_i_;
    if (v == lf_) ++n_eq_f_;
    if (v < li_) ++n_below_i_;
    if (v > lf_) ++n_above_f_;
    if (v > li_) {
      has_next = true;
      if (v < next_) next_ = v;
    }
    if (v < lf_) {
      has_prev = true;
      if (v > prev_) prev_ = v;
    }
  }
  // A limit strictly between two samples gets its piece; one on a sample or beyond the
  // outermost sample gets none.
  left_applies_ = n_eq_i_ == 0 && n_below_i_ > 0 && has_next;
  right_applies_ = n_eq_f_ == 0 && n_above_f_ > 0 && has_prev;
}

float Integration::rule_R() {
  // w(k) = lam(k+1) - lam(k) for inside k < N.
  const int K = dropped_before_f();
  float inner = 0.0f;
  for (int k = 1; k <= n_; ++k) {
    const float w = (k < n_ && k != K && inside(k)) ? lam(k + 1) - lam(k) : 0.0f;
    inner += F(k) * w;
  }
  const Pieces p = pieces([&] { return (next_ - li_) * f(li_); }, [&] { return (lf_ - prev_) * f(prev_); });
  return (inner + p.left) + p.right;
}

float Integration::rule_L() {
  // w(k) = lam(k) - lam(k-1) for inside k >= 2. J: the last k in 2..N at or below
  // lambda_i (1 when none); the interval ending at J (lambda_i on a sample) or at J + 1
  // (lambda_i between samples, where the left piece replaces it) is dropped.
  int J = 1;
  for (int k = n_; k >= 2; --k) {
    if (lam(k) <= li_) {
      J = k;
      break;
    }
  }
  int zeroed = 0;
  if (n_eq_i_ == 1) {
    zeroed = J;
  } else if (n_eq_i_ == 0 && n_below_i_ > 0) {
    zeroed = J + 1;
  }
  float inner = 0.0f;
  for (int k = 1; k <= n_; ++k) {
    const float w = (k >= 2 && k != zeroed && inside(k)) ? lam(k) - lam(k - 1) : 0.0f;
    inner += F(k) * w;
  }
  const Pieces p = pieces([&] { return (next_ - li_) * f(next_); }, [&] { return (lf_ - prev_) * f(lf_); });
  return (inner + p.left) + p.right;
}

float Integration::rule_T() {
  const int K = dropped_before_f();
  float inner = 0.0f;
  for (int k = 1; k <= n_; ++k) {
    const float w = (k < n_ && k != K && inside(k)) ? lam(k + 1) - lam(k) : 0.0f;
    // F shifted by one place with 0.0 shifted in at the end.
    const float P = F(k) + (k < n_ ? F(k + 1) : 0.0f);
    inner += (0.5f * P) * w;
  }
  // A trapezoid over [a, b]: f(a) is interpolated before f(b).
  const auto trapezoid = [&](float a, float b) {
    const float fa = f(a);
    const float fb = f(b);
    return (0.5f * (fa + fb)) * (b - a);
  };
  const Pieces p = pieces([&] { return trapezoid(li_, next_); }, [&] { return trapezoid(prev_, lf_); });
  return (inner + p.left) + p.right;
}

float Integration::rule_S() {
  // K: the last inside sample (1 when none). Its weight is replaced when lambda_f falls on
  // a sample (the width before it) or between samples (the width of the right piece).
  const int K = last_inside(n_);
  const auto base = [&](int k) {
    if (k < n_) return inside(k) ? lam(k + 1) - lam(k) : 0.0f;
    return inside(n_) ? (inside(n_ - 1) ? lam(n_) - lam(n_ - 1) : 0.0f) : 0.0f;
  };
  float wK = base(K);
  if (n_eq_f_ == 1 && K >= 2) wK = base(K - 1);
  if (right_applies_) wK = lf_ - prev_;
  float inner = 0.0f;
  for (int k = 1; k <= n_; ++k) inner += F(k) * (k == K ? wK : base(k));
  const Pieces p = pieces([&] { return (next_ - li_) * f(li_); }, [&] { return (lf_ - prev_) * f(lf_); });
  return ((0.0f + p.left) + p.right) + inner;
}

float Integration::rule_MI(Rule rule) {
  const bool simpson = rule == Rule::I;
  // Only intervals wholly inside the range; their midpoints are interpolated in increasing
  // order with the bracket carried from one to the next.
  reset_search();
  float inner = 0.0f;
  for (int k = 1; k <= n_; ++k) {
    float w = 0.0f;
    float v = 0.0f;
    if (k < n_ && li_ <= lam(k) && lam(k + 1) <= lf_) {
      if (simpson) {
        w = (lam(k + 1) - lam(k)) / 6.0f;
        v = f((lam(k + 1) + lam(k)) * 0.5f);
      } else {
        w = lam(k + 1) - lam(k);
        v = f(lam(k) + 0.5f * w);
      }
    }
    if (simpson) {
      const float Fnext = k < n_ ? F(k + 1) : 0.0f;  // F(N + 1) counts as 0.0
      inner += ((F(k) + Fnext) + 4.0f * v) * w;
    } else {
      inner += w * v;
    }
  }
  // The piece over [a, b] of width `width` (b - a): Simpson's from f(a), f(b) and the
  // midpoint in this order, or the midpoint value.
  const auto piece = [&](float a, float b, float width) {
    if (!simpson) return width * f(a + 0.5f * width);
    const float fa = f(a);
    const float fb = f(b);
    const float v = f((a + b) * 0.5f);
    return (width / 6.0f) * ((fa + fb) + 4.0f * v);
  };
  const Pieces p =
      pieces([&] { return piece(li_, next_, next_ - li_); }, [&] { return piece(prev_, lf_, lf_ - prev_); });
  return (inner + p.left) + p.right;
}

float Integration::integrate(Rule rule) {
  count();
  if (n_ < 2) return 0.0f;  // one sample strictly inside the range: no interval
  switch (rule) {
    case Rule::R: return rule_R();
    case Rule::L: return rule_L();
    case Rule::T: return rule_T();
    case Rule::S: return rule_S();
    case Rule::M:
    case Rule::I: return rule_MI(rule);
  }
  return 0.0f;
}

}  // namespace

namespace detail {

// verbatim: both messages, 39 bytes each with their "@" pads.
const char* integration_failure(std::span<const float> lambda, float lambda_i, float lambda_f) {
  // Extremes, NaN wavelengths ignored.
  constexpr float kHuge = std::numeric_limits<float>::max();
  float smallest = kHuge;
  float largest = -kHuge;
  for (const float v : lambda) {
    if (v < smallest) smallest = v;
    if (v > largest) largest = v;
  }
  if (lambda_i >= largest || lambda_f <= smallest) return "[IntegralALL] λ & F is out of range @@";
  // Equal neighbours fail; a NaN does not (no comparison with it holds).
  for (std::size_t k = 0; k + 1 < lambda.size(); ++k) {
    if (lambda[k] >= lambda[k + 1]) return "[IntegralALL] λ is not in increasing @";
  }
  return nullptr;
}

}  // namespace detail

float IntegralALL(ReportContext& report, std::span<const float> lambda, std::span<const float> F, float lambda_i,
                  float lambda_f, Rule rule) {
  const std::size_t n = std::min(lambda.size(), F.size());
  lambda = lambda.first(n);
  F = F.first(n);
  if (const char* failure = detail::integration_failure(lambda, lambda_i, lambda_f)) {
    report.console_problem(failure, detail::integration_failure_reason(failure, lambda_i, lambda_f));
    return kSentinel;
  }
  return Integration(lambda, F, lambda_i, lambda_f).integrate(rule);
}

namespace detail {

std::string integration_failure_reason(const char* failure, float lambda_i, float lambda_f) {
  if (std::string_view(failure).find("out of range") != std::string_view::npos)
    return "an integral from " + number_text(lambda_i) + " to " + number_text(lambda_f) +
           " Å lies outside the sampled wavelengths";
  return "an integral over wavelengths that do not increase strictly";
}

TSupport t_support(std::span<const float> lambda, float li, float lf) {
  TSupport p;
  p.lambda = lambda;
  p.lambda_i = li;
  p.lambda_f = lf;
  const std::size_t n = lambda.size();
  if (n < 2) return p;
  const auto begin = lambda.begin();
  // 0-based: samples [a, b) lie inside [li, lf].
  const std::size_t a = std::size_t(std::lower_bound(begin, lambda.end(), li) - begin);
  const std::size_t b = std::size_t(std::upper_bound(begin, lambda.end(), lf) - begin);
  const bool eq_i = a < n && lambda[a] == li;
  const bool eq_f = b > 0 && lambda[b - 1] == lf;
  p.next = std::size_t(std::upper_bound(begin, lambda.end(), li) - begin);
  p.below_f = std::size_t(std::lower_bound(begin, lambda.end(), lf) - begin);
  p.left = !eq_i && a > 0 && p.next < n;
  p.right = !eq_f && b < n && p.below_f > 0;
  // The interval from the last inside sample before the final one is dropped when lf lies
  // below the last sample; 0-based, n when nothing is dropped.
  p.dropped = n;
  if (lf < lambda[n - 1]) {
    const std::size_t last = std::min(b, n - 1);  // 1-based index of the last inside k < N
    p.dropped = last >= a + 1 ? last - 1 : 0;
  }
  p.first = a > 0 ? a - 1 : 0;
  p.end = b;
  p.inside = a;
  return p;
}

namespace {

// The inner sums of M integrands, each in integral_t_support's order: independent chains of
// additions side by side, so that each waits for its own additions only.
template <std::size_t M>
void inner_sums(const TSupport& p, const float* const* f, float* sums) {
  static_assert(M >= 1 && M <= 4);
  const std::size_t n = p.lambda.size();
  const float* lambda = p.lambda.data();
  float s[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // one chain each
  const auto one = [&](std::size_t k) {
    const float w = (k + 1 < n && k != p.dropped && k >= p.inside) ? lambda[k + 1] - lambda[k] : 0.0f;
    for (std::size_t c = 0; c < M; ++c) s[c] += (0.5f * (f[c][k] + (k + 1 < n ? f[c][k + 1] : 0.0f))) * w;
  };
  // Where every weight is its interval's width (inside, before the last sample, not the
  // dropped interval), the terms are formed four samples at a time, lane by lane as one
  // sample forms them, and then added in order: each sum's additions stay one chain.
  using F4 = float __attribute__((vector_size(16)));
  constexpr std::size_t kBlock = 64;
  float terms[M][kBlock];
  const std::size_t clean_end = std::min(p.end, n - 1);
  std::size_t k = p.first;
  for (; k < p.end && (k < p.inside || k == p.dropped); ++k) one(k);
  while (k < clean_end) {
    if (k == p.dropped) {
      one(k++);
      continue;
    }
    const std::size_t stop = std::min({clean_end, k + kBlock, p.dropped > k ? p.dropped : clean_end});
    const std::size_t count = stop - k;
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
      F4 l0, l1;
      std::memcpy(&l0, lambda + k + i, sizeof l0);
      std::memcpy(&l1, lambda + k + i + 1, sizeof l1);
      const F4 w = l1 - l0;
      for (std::size_t c = 0; c < M; ++c) {
        F4 a, b;
        std::memcpy(&a, f[c] + k + i, sizeof a);
        std::memcpy(&b, f[c] + k + i + 1, sizeof b);
        const F4 t = (0.5f * (a + b)) * w;
        std::memcpy(terms[c] + i, &t, sizeof t);
      }
    }
    for (; i < count; ++i)
      for (std::size_t c = 0; c < M; ++c)
        terms[c][i] = (0.5f * (f[c][k + i] + f[c][k + i + 1])) * (lambda[k + i + 1] - lambda[k + i]);
    for (i = 0; i < count; ++i)
      for (std::size_t c = 0; c < M; ++c) s[c] += terms[c][i];
    k = stop;
  }
  for (; k < p.end; ++k) one(k);
  std::copy(s, s + M, sums);
}

}  // namespace

void t_support_inner(const TSupport& p, std::span<const std::span<const float>> F, float* sums) {
  const float* f[4] = {};
  for (std::size_t c = 0; c < std::min<std::size_t>(F.size(), 4); ++c) f[c] = F[c].data();
  switch (F.size()) {
    case 0: return;
    case 1: return inner_sums<1>(p, f, sums);
    case 2: return inner_sums<2>(p, f, sums);
    case 3: return inner_sums<3>(p, f, sums);
    default: return inner_sums<4>(p, f, sums);
  }
}

float t_support_total(const TSupport& p, std::span<const float> F, float inner) {
  int ilastval = -999;
  const auto trapezoid = [&](float x0, float x1) {
    const float f0 = LINEAR1_Deg_increasing(x0, p.lambda, F, ilastval);
    const float f1 = LINEAR1_Deg_increasing(x1, p.lambda, F, ilastval);
    return (0.5f * (f0 + f1)) * (x1 - x0);
  };
  const float lp = p.left ? trapezoid(p.lambda_i, p.lambda[p.next]) : 0.0f;
  const float rp = p.right ? trapezoid(p.lambda[p.below_f - 1], p.lambda_f) : 0.0f;
  return (inner + lp) + rp;
}

float integral_t_support(std::span<const float> lambda, std::span<const float> F, float li, float lf) {
  const std::size_t n = std::min(lambda.size(), F.size());
  lambda = lambda.first(n);
  F = F.first(n);
  if (n < 2) return 0.0f;
  const TSupport plan = t_support(lambda, li, lf);
  float inner = 0.0f;
  t_support_inner(plan, std::span<const std::span<const float>>(&F, 1), &inner);
  return t_support_total(plan, F, inner);
}

}  // namespace detail

}  // namespace veltrane
