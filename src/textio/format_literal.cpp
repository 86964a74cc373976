// The literal forms of the F, E and list-directed writers: snprintf on the float widened
// exactly to double (glibc rounds the exact binary value, ties to even), then the text
// rearranged as gfortran lays it out. Slow and plainly right: the reference the fast
// writers in format.cpp are tested against, and their fallback outside their ranges.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "textio/format.h"

namespace veltrane::textio::detail {
namespace {

std::string right_justify(std::string_view text, int w) {
  if (static_cast<int>(text.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  std::string out(static_cast<std::size_t>(w) - text.size(), ' ');
  out.append(text);
  return out;
}

// Infinity and NaN in an F or E field of width w.
std::string special_field(float x, int w) {
  if (std::isnan(x)) return w < 3 ? std::string(static_cast<std::size_t>(w), '*') : right_justify("NaN", w);
  const bool neg = std::signbit(x);
  if (!neg) {
    if (w < 3) return std::string(static_cast<std::size_t>(w), '*');
    return right_justify(w >= 8 ? "Infinity" : "Inf", w);
  }
  if (w < 4) return std::string(static_cast<std::size_t>(w), '*');
  return right_justify(w >= 9 ? "-Infinity" : "-Inf", w);
}

// Places the sign and drops the leading zero when one column short; asterisks otherwise.
std::string fit_number(bool neg, std::string body, int w, bool may_drop_zero) {
  std::string text = neg ? "-" + body : body;
  if (static_cast<int>(text.size()) > w && may_drop_zero && body.size() > 1 && body[0] == '0' && body[1] == '.') {
    text = neg ? "-" + body.substr(1) : body.substr(1);
  }
  return right_justify(text, w);
}

}  // namespace

std::string fmt_f_literal(float x, int w, int d) {
  if (!std::isfinite(x)) return special_field(x, w);
  const double v = std::fabs(static_cast<double>(x));
  char buf[400];
  std::snprintf(buf, sizeof buf, "%#.*f", d, v);
  return fit_number(std::signbit(x), buf, w, d > 0);
}

std::string fmt_e_literal(float x, int w, int d) {
  if (!std::isfinite(x)) return special_field(x, w);
  const double v = std::fabs(static_cast<double>(x));
  std::string digits;
  int exponent = 0;
  if (v == 0.0) {
    digits.assign(static_cast<std::size_t>(d), '0');
  } else {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*e", d - 1, v);
    const char* e = buf;
    while (*e != 'e') ++e;
    digits.push_back(buf[0]);
    if (d > 1) digits.append(buf + 2, static_cast<std::size_t>(e - (buf + 2)));
    exponent = std::atoi(e + 1) + 1;
  }
  char tail[16];
  const int ax = exponent < 0 ? -exponent : exponent;
  std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', ax);
  return fit_number(std::signbit(x), "0." + digits + tail, w, true);
}

std::string list_real_literal(float x) {
  if (std::isnan(x)) return right_justify("NaN", 16);
  if (std::isinf(x)) return right_justify(x > 0 ? "Infinity" : "-Infinity", 16);
  const double v = std::fabs(static_cast<double>(x));
  const char* sign = std::signbit(x) ? "-" : "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.8e", v);
  int e = 0;
  const char* ep = buf;
  while (*ep != 'e') ++ep;
  if (v != 0.0) e = std::atoi(ep + 1);
  char out[80];
  if (e >= -1 && e <= 8) {
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%#.*f", 8 - e, v);
    std::snprintf(out, sizeof out, "%12s", (std::string(sign) + fixed).c_str());
    return std::string(out) + "    ";
  }
  const int ax = e < 0 ? -e : e;
  std::snprintf(out, sizeof out, "%s%.*sE%c%02d", sign, static_cast<int>(ep - buf), buf, e < 0 ? '-' : '+', ax);
  return right_justify(out, 16);
}

}  // namespace veltrane::textio::detail
