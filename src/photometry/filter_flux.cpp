#include "photometry/filter_flux.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "numerics/integration.h"
#include "numerics/interpolation.h"
#include "numerics/order.h"

namespace veltrane {

namespace detail {

namespace {

// The bracket (0-based lower index) that LINEAR1_Deg finds from a fresh start for an x
// inside a strictly increasing table of n >= 2 points. Its downward branch takes x equal
// to the second abscissa as the start of the second interval; above that it takes the
// first abscissa not below x as the end of the interval, so a node x[m] (m >= 2) closes
// interval m-1 with weight 1.
std::size_t fresh_bracket(std::span<const float> x, float v) {
  const std::size_t n = x.size();
  std::size_t k;
  if (v <= x[1]) {
    k = (v == x[1]) ? 1 : 0;
  } else {
    const auto m = std::lower_bound(x.begin() + 2, x.end(), v);
    k = std::size_t(m - x.begin()) - 1;
  }
  return std::min(k, n - 2);
}

}  // namespace

void transmission_on_spectrum(std::span<const float> ls, std::span<const float> lf, std::span<const float> tf,
                              std::span<float> ts, bool literal) {
  const std::size_t nf = std::min(lf.size(), tf.size());
  lf = lf.first(nf);
  tf = tf.first(nf);
  const std::size_t ns = std::min(ls.size(), ts.size());
  if (nf == 0) {
    std::fill(ts.begin(), ts.begin() + std::ptrdiff_t(ns), 0.0f);
    return;
  }
  const float lo = lf[0];
  const float hi = lf[nf - 1];
  const bool fast = !literal && nf >= 2 && strictly_increasing(lf);
  std::size_t last_bracket = 0;
  bool any_inside = false;
  for (std::size_t k = 0; k < ns; ++k) {
    const float x = ls[k];
    if (!(lo <= x && x <= hi)) {
      ts[k] = 0.0f;
      continue;
    }
    if (fast) {
      const std::size_t j = fresh_bracket(lf, x);
      const float t = (x - lf[j]) / (lf[j + 1] - lf[j]);
      ts[k] = (1.0f - t) * tf[j] + t * tf[j + 1];
      last_bracket = j;
      any_inside = true;
    } else {
      int ilastval = -999;
      ts[k] = LINEAR1_Deg(x, lf, tf, ilastval);
    }
  }
  // Every inside sample lies within the table, so the last evaluation succeeded and left
  // its bracket behind.
  if (fast && any_inside) set_saved_bracket(int(last_bracket) + 1);
}

}  // namespace detail

namespace {

FilterFlux measure(ReportContext& report, std::span<const float> ls, std::span<const float> fs,
                   std::span<const float> lf, std::span<const float> tf, float D, Rule rule, bool literal) {
  FilterFlux r;
  const std::size_t nf = std::min(lf.size(), tf.size());
  const std::size_t ns = std::min(ls.size(), fs.size());
  lf = lf.first(nf);
  tf = tf.first(nf);
  ls = ls.first(ns);
  fs = fs.first(ns);
  if (nf == 0) {
    r.flux = kSentinel;
    r.lambda_eff = kSentinel;
    return r;
  }
  const float lo = lf[0];
  const float hi = lf[nf - 1];

  // Effective wavelength on the filter's own samples, before anything else.
  std::vector<float> lt(nf);
  for (std::size_t k = 0; k < nf; ++k) lt[k] = lf[k] * tf[k];
  const float a = IntegralALL(report, lf, tf, lo, hi, rule);
  const float b = IntegralALL(report, lf, lt, lo, hi, rule);
  r.lambda_eff = b / a;

  if (ns == 0 || lo >= ls[ns - 1] || ls[0] >= hi) {
    r.flux = kSentinel;
    return r;
  }

  std::vector<float> ts(ns);
  detail::transmission_on_spectrum(ls, lf, tf, ts, literal);
  std::vector<float> ts_q(ns);
  std::vector<float> ts_p(ns);
  for (std::size_t k = 0; k < ns; ++k) {
    const float x = ls[k];
    float p = 0.0f;
    float q = 0.0f;
    if (lo <= x && x <= hi) {
      if (fs[k] > 0.0f && ts[k] > 0.0f) {
        p = fs[k];
        q = 1.0f;
      } else if (ts[k] < 0.0f) {
        ts[k] = 0.0f;
      }
    }
    ts_q[k] = ts[k] * q;
    ts_p[k] = ts[k] * p;
  }
  const float c = IntegralALL(report, ls, ts, lo, hi, rule);
  const float e = IntegralALL(report, ls, ts_q, lo, hi, rule);
  const float g = IntegralALL(report, ls, ts_p, lo, hi, rule);
  r.covered = c / D;
  r.positive = e / D;
  r.flux = g;
  return r;
}

}  // namespace

FilterFlux EvalTFluxes(ReportContext& report, std::span<const float> ls, std::span<const float> fs,
                       std::span<const float> lf, std::span<const float> tf, float D, Rule rule) {
  return measure(report, ls, fs, lf, tf, D, rule, false);
}

FilterFlux EvalTFluxesLiteral(ReportContext& report, std::span<const float> ls, std::span<const float> fs,
                              std::span<const float> lf, std::span<const float> tf, float D, Rule rule) {
  return measure(report, ls, fs, lf, tf, D, rule, true);
}

Spectrum::Spectrum(std::span<const float> l, std::span<const float> f)
    : lambda(l.first(std::min(l.size(), f.size()))),
      flux(f.first(std::min(l.size(), f.size()))),
      increasing(strictly_increasing(lambda) && (lambda.empty() || lambda.front() == lambda.front())) {}

namespace {

// The transmission at the increasing wavelengths ls[k0 .. k1) inside the increasing filter
// (lf, tf), each by the bracket a fresh search finds (see fresh_bracket), found in one sweep.
// Returns the 1-based saved bracket after the last sample (0 when there is none).
int sweep_transmission(std::span<const float> ls, std::size_t k0, std::size_t k1, std::span<const float> lf,
                       std::span<const float> tf, float* out) {
  const std::size_t nf = lf.size();
  std::size_t m = 2;  // the first index >= 2 whose abscissa is not below the sample
  std::size_t j = 0;
  for (std::size_t k = k0; k < k1; ++k) {
    const float x = ls[k];
    if (x <= lf[1]) {
      j = x == lf[1] ? 1 : 0;
    } else {
      while (m < nf && lf[m] < x) ++m;
      j = m - 1;
    }
    j = std::min(j, nf - 2);
    const float t = (x - lf[j]) / (lf[j + 1] - lf[j]);
    out[k - k0] = (1.0f - t) * tf[j] + t * tf[j + 1];
  }
  return k1 > k0 ? int(j) + 1 : 0;
}

void inside(std::span<const float> ls, float lo, float hi, std::size_t& k0, std::size_t& k1) {
  k0 = std::size_t(std::lower_bound(ls.begin(), ls.end(), lo) - ls.begin());
  k1 = std::size_t(std::upper_bound(ls.begin(), ls.end(), hi) - ls.begin());
}

// The products of EvalTFluxesOnBand over n samples of transmission ts and fluxes f: T·p into
// tp and, with kAll, T·q into tq and the clipped T into clipped (which may be ts itself);
// p = f and q = 1 where f and T are positive, else 0, and a negative T is taken as 0. Four
// samples at a time, lane by lane. True when T·q is T itself everywhere.
template <bool kAll>
bool products(const float* ts, const float* f, std::size_t n, float* tp, float* clipped = nullptr,
              float* tq = nullptr) {
  using F4 = float __attribute__((vector_size(16)));
  using I4 = std::int32_t __attribute__((vector_size(16)));
  const F4 one = {1.0f, 1.0f, 1.0f, 1.0f};
  I4 same = {-1, -1, -1, -1};
  std::size_t k = 0;
  for (; k + 4 <= n; k += 4) {
    F4 t, x;
    std::memcpy(&t, ts + k, sizeof t);
    std::memcpy(&x, f + k, sizeof x);
    const I4 positive = (x > 0.0f) & (t > 0.0f);
    t = F4(I4(t) & ~((t < 0.0f) & ~positive));  // a negative T becomes +0.0
    const F4 product = t * F4(I4(x) & positive), tq4 = t * F4(I4(one) & positive);
    std::memcpy(tp + k, &product, sizeof product);
    if constexpr (kAll) {
      std::memcpy(clipped + k, &t, sizeof t);
      std::memcpy(tq + k, &tq4, sizeof tq4);
    }
    same &= I4(tq4) == I4(t);
  }
  bool all_same = (same[0] & same[1] & same[2] & same[3]) != 0;
  for (; k < n; ++k) {
    float t = ts[k], p = 0.0f, q = 0.0f;
    if (f[k] > 0.0f && t > 0.0f) {
      p = f[k];
      q = 1.0f;
    } else if (t < 0.0f) {
      t = 0.0f;
    }
    tp[k] = t * p;
    if constexpr (kAll) {
      clipped[k] = t;
      tq[k] = t * q;
    }
    all_same &= std::bit_cast<std::uint32_t>(t * q) == std::bit_cast<std::uint32_t>(t);
  }
  return all_same;
}

}  // namespace

Band band_on_grid(std::span<const float> grid, std::span<const float> lf, std::span<const float> tf) {
  Band b;
  const float lo = lf.front(), hi = lf.back();
  if (grid.empty() || lo >= grid.back() || grid.front() >= hi) return b;
  b.overlap = true;
  inside(grid, lo, hi, b.k0, b.k1);
  b.ts.resize(b.k1 - b.k0);
  b.bracket = sweep_transmission(grid, b.k0, b.k1, lf, tf, b.ts.data());
  for (float& t : b.ts)
    if (t < 0.0f) t = 0.0f;  // clipped whatever the flux: t > 0 fails first
  std::vector<float> full(grid.size(), 0.0f);
  std::copy(b.ts.begin(), b.ts.end(), full.begin() + std::ptrdiff_t(b.k0));
  const int saved = saved_bracket();
  b.covered = detail::integral_t_support(grid, full, lo, hi);
  set_saved_bracket(saved);
  return b;
}

FilterFlux EvalTFluxesOnBand(const Spectrum& s, std::span<const float> lf, std::span<const float> tf, float D,
                             FilterWork& work, const Band* band) {
  FilterFlux r;
  const std::span<const float> ls = s.lambda, fs = s.flux;
  const float lo = lf.front(), hi = lf.back();
  if (ls.empty() || lo >= ls.back() || ls.front() >= hi) {
    r.flux = kSentinel;
    return r;
  }
  std::size_t k0 = 0, k1 = 0;
  float* ts = work.ts.data();
  if (band) {
    k0 = band->k0;
    k1 = band->k1;
    std::copy(band->ts.begin(), band->ts.end(), ts + k0);
    if (band->bracket > 0) set_saved_bracket(band->bracket);
  } else {
    inside(ls, lo, hi, k0, k1);
    const int bracket = sweep_transmission(ls, k0, k1, lf, tf, ts + k0);
    if (bracket > 0) set_saved_bracket(bracket);
  }
  float* tq = work.tq.data();
  float* tp = work.tp.data();
  // Where the flux is positive wherever the filter transmits, T·q is T itself, bit for bit,
  // and so is its integral: the covered one.
  const bool tq_is_ts = products<true>(ts + k0, fs.data() + k0, k1 - k0, tp + k0, ts + k0, tq + k0);
  const std::size_t ns = ls.size();
  const auto span = [ns](const std::vector<float>& v) { return std::span<const float>(v.data(), ns); };
  // The integrals' sums side by side, then their pieces in the order of their calls.
  const detail::TSupport plan = detail::t_support(ls, lo, hi);
  std::span<const float> integrands[3];
  std::size_t m = 0;
  if (!band) integrands[m++] = span(work.ts);
  if (!tq_is_ts) integrands[m++] = span(work.tq);
  integrands[m++] = span(work.tp);
  float inner[3];
  detail::t_support_inner(plan, std::span<const std::span<const float>>(integrands, m), inner);
  std::size_t at = 0;
  const auto total = [&] {
    const float v = detail::t_support_total(plan, integrands[at], inner[at]);
    ++at;
    return v;
  };
  const float c = band ? band->covered : total();
  const float e = tq_is_ts ? c : total();
  const float g = total();
  std::fill(ts + k0, ts + k1, 0.0f);
  std::fill(tq + k0, tq + k1, 0.0f);
  std::fill(tp + k0, tp + k1, 0.0f);
  r.covered = c / D;
  r.positive = e / D;
  r.flux = g;
  return r;
}

std::array<FilterFlux, 3> EvalTFluxesOnBands(std::span<const float> grid,
                                             const std::array<std::span<const float>, 3>& fluxes,
                                             std::span<const float> lf, float D, FilterWork& work, const Band& band) {
  std::array<FilterFlux, 3> r;
  const float lo = lf.front(), hi = lf.back();
  if (grid.empty() || lo >= grid.back() || grid.front() >= hi) {
    for (FilterFlux& x : r) x.flux = kSentinel;
    return r;
  }
  const std::size_t k0 = band.k0, k1 = band.k1, ns = grid.size();
  float* tp[3] = {work.tp.data(), work.tp2.data(), work.tp3.data()};
  bool tq_is_ts[3];
  for (std::size_t j = 0; j < 3; ++j)
    tq_is_ts[j] = products<false>(band.ts.data(), fluxes[j].data() + k0, k1 - k0, tp[j] + k0);
  const detail::TSupport plan = detail::t_support(grid, lo, hi);
  const std::array<std::span<const float>, 3> products = {
      std::span<const float>(tp[0], ns), std::span<const float>(tp[1], ns), std::span<const float>(tp[2], ns)};
  float inner[3];
  detail::t_support_inner(plan, products, inner);
  // Each spectrum's interpolations in the order of its own call, so the saved bracket ends
  // where the third call leaves it.
  for (std::size_t j = 0; j < 3; ++j) {
    if (band.bracket > 0) set_saved_bracket(band.bracket);
    const float c = band.covered;
    float e = c;
    if (!tq_is_ts[j]) {
      float* tq = work.tq.data();
      for (std::size_t k = k0; k < k1; ++k) {
        const float t = band.ts[k - k0], f = fluxes[j][k];
        tq[k] = (f > 0.0f && t > 0.0f) ? t * 1.0f : (t < 0.0f ? 0.0f : t) * 0.0f;
      }
      e = detail::integral_t_support(grid, std::span<const float>(tq, ns), lo, hi);
      std::fill(tq + k0, tq + k1, 0.0f);
    }
    r[j].covered = c / D;
    r[j].positive = e / D;
    r[j].flux = detail::t_support_total(plan, products[j], inner[j]);
  }
  for (float* t : tp) std::fill(t + k0, t + k1, 0.0f);
  return r;
}

}  // namespace veltrane
