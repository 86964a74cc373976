#include "galaxy/ssp_sums.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace veltrane {
namespace {

// acc + ((f × w) / S) for n points, one at a time.
void add_literal(float* acc, const float* f, std::size_t n, float w, float S) {
  for (std::size_t i = 0; i < n; ++i) acc[i] = acc[i] + (f[i] * w) / S;
}

// L floats side by side.
template <std::size_t L>
struct Lanes;
template <>
struct Lanes<4> {
  typedef float type __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
  typedef float type __attribute__((vector_size(32)));
};

// The same into one sum (b null) or two, L points at a time; each lane does what one point
// does.
template <std::size_t L>
[[gnu::always_inline]] inline void add_lanes(float* __restrict a, float* __restrict b, const float* __restrict f,
                                             std::size_t n, float w, float S) {
  using V = typename Lanes<L>::type;
  V wv, Sv;
  for (std::size_t k = 0; k < L; ++k) {  // w and S in every lane, as they are (a -0.0 stays)
    wv[k] = w;
    Sv[k] = S;
  }
  std::size_t i = 0;
  for (; i + L <= n; i += L) {
    V x, s;
    std::memcpy(&x, f + i, sizeof x);
    const V term = (x * wv) / Sv;
    std::memcpy(&s, a + i, sizeof s);
    s = s + term;
    std::memcpy(a + i, &s, sizeof s);
    if (b != nullptr) {
      std::memcpy(&s, b + i, sizeof s);
      s = s + term;
      std::memcpy(b + i, &s, sizeof s);
    }
  }
  for (; i < n; ++i) {
    const float term = (f[i] * w) / S;
    a[i] = a[i] + term;
    if (b != nullptr) b[i] = b[i] + term;
  }
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void add_avx2(float* a, float* b, const float* f, std::size_t n, float w, float S) {
  add_lanes<8>(a, b, f, n, w, S);
}
#endif

void add(float* a, float* b, const float* f, std::size_t n, float w, float S) {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return add_avx2(a, b, f, n, w, S);
#endif
  add_lanes<4>(a, b, f, n, w, S);
}

bool same_bits(float x, float y) { return std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y); }

}  // namespace

void add_ssp(std::span<float> all, std::span<float> young, std::span<float> old, std::span<const float> f, SspWeights w,
             float S, bool finite, bool literal) {
  const std::size_t n = f.size();
  if (literal) {
    add_literal(all.data(), f.data(), n, w.all, S);
    add_literal(young.data(), f.data(), n, w.young, S);
    add_literal(old.data(), f.data(), n, w.old, S);
    return;
  }
  const auto skipped = [&](float weight) { return weight == 0.0f && finite && S != 0.0f && S == S; };
  const bool skip_all = skipped(w.all), skip_young = skipped(w.young), skip_old = skipped(w.old);
  if (!skip_all && same_bits(w.young, w.all) && skip_old) return add(all.data(), young.data(), f.data(), n, w.all, S);
  if (!skip_all && same_bits(w.old, w.all) && skip_young) return add(all.data(), old.data(), f.data(), n, w.all, S);
  if (!skip_all) add(all.data(), nullptr, f.data(), n, w.all, S);
  if (!skip_young) add(young.data(), nullptr, f.data(), n, w.young, S);
  if (!skip_old) add(old.data(), nullptr, f.data(), n, w.old, S);
}

}  // namespace veltrane
