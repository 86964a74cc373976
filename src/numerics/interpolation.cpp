#include "numerics/interpolation.h"

#include <algorithm>
#include <cstddef>

namespace veltrane {
namespace {

// The saved bracket `ilastnum` (1-based lower index of the last bracket used), shared by
// every caller and every table within a thread: the only hidden state. Each thread that
// processes galaxies has its own, since every sweep resets it before its first use.
thread_local int g_ilastnum = 1;

// The opening both forms share, in two steps. First the reset argument: `ilastval` < 1 asks
// for a fresh search (the saved bracket and `ilastval` become 1); otherwise `ilastval` takes
// the saved bracket's value. Then, for a table of n >= 2 points, the bracket the search
// starts from: the saved one, moved back inside the table when it lies past its end.
void take_reset(int& ilastval) {
  if (ilastval < 1) {
    g_ilastnum = 1;
    ilastval = 1;
  } else {
    ilastval = g_ilastnum;
  }
}

int start_bracket(int n) {
  int i = g_ilastnum;
  if (i >= n) {
    i = n - 1;
    g_ilastnum = i;
  }
  return i < 1 ? 1 : i;  // only a test can put the saved bracket below 1
}

}  // namespace

int saved_bracket() { return g_ilastnum; }
void set_saved_bracket(int value) { g_ilastnum = value; }

float LINEAR1_Deg(float x, std::span<const float> xarr, std::span<const float> yarr, int& ilastval) {
  take_reset(ilastval);
  // A shorter ordinate table never lets us read past it.
  const int n = static_cast<int>(std::min(xarr.size(), yarr.size()));
  if (n < 2) return 0.0f;
  const int i = start_bracket(n);

  // The search below works with 1-based table indices, as the bracket is stored; X(j)/Y(j) map them.
  const auto X = [&](int j) { return xarr[static_cast<std::size_t>(j - 1)]; };
  const auto Y = [&](int j) { return yarr[static_cast<std::size_t>(j - 1)]; };

  int k = 0;
  bool outside = false;
  if (X(i + 1) >= x) {
    if (X(i + 1) == x) {
      k = i + 1;
    } else {
      int m = i;
      while (m >= 1 && !(X(m) <= x)) --m;
      if (m >= 1) {
        k = m;
      } else {
        outside = true;
      }
    }
  } else {
    // Also taken for a NaN abscissa, which then finds no bracket above.
    if (x <= X(i)) {
      k = i - 1;  // reachable only on a table that is not increasing
    } else {
      int m = i + 2;
      while (m <= n && !(X(m) >= x)) ++m;
      if (m <= n) {
        k = m - 1;
      } else {
        outside = true;
      }
    }
  }

  if (outside) return 0.0f;

  if (k >= n) k = n - 1;
  if (k < 1) k = 1;
  const float t = (x - X(k)) / (X(k + 1) - X(k));
  const float y = (1.0f - t) * Y(k) + t * Y(k + 1);
  g_ilastnum = k;
  return y;
}

float LINEAR1_Deg_increasing(float x, std::span<const float> xarr, std::span<const float> yarr, int& ilastval) {
  take_reset(ilastval);
  const int n = static_cast<int>(std::min(xarr.size(), yarr.size()));
  if (n < 2) return 0.0f;
  const int i = start_bracket(n);
  if (x != x) return 0.0f;           // NaN: no bracket in either direction
  const float* X = xarr.data() - 1;  // 1-based, as the bracket is stored
  int k = 0;
  if (X[i + 1] >= x) {
    if (X[i + 1] == x) {
      k = i + 1;
    } else {
      // The largest m <= i with X(m) <= x: the downward scan's first hit.
      const int m = int(std::upper_bound(X + 1, X + i + 1, x) - (X + 1));
      if (m < 1) return 0.0f;
      k = m;
    }
  } else {
    // The smallest m >= i + 2 with X(m) >= x: the upward scan's first hit.
    const int m = int(std::lower_bound(X + i + 2, X + n + 1, x) - X);
    if (m > n) return 0.0f;
    k = m - 1;
  }
  if (k >= n) k = n - 1;
  const float t = (x - X[k]) / (X[k + 1] - X[k]);
  const float y = (1.0f - t) * yarr[std::size_t(k - 1)] + t * yarr[std::size_t(k)];
  g_ilastnum = k;
  return y;
}

}  // namespace veltrane
