#include "photometry/filter_set.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "numerics/integration.h"
#include "numerics/order.h"
#include "photometry/filter_flux.h"
#include "support/array_reset.h"
#include "support/console.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {

namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

constexpr int kHeaderRecords = 15;

// A standard star spectrum, held only during one call.
struct StandardSpectrum {
  std::vector<float> lambda;
  std::vector<float> flux;
  std::span<const float> lambdas() const { return lambda; }
  std::span<const float> fluxes() const { return flux; }
};

// The list or a filter file cannot be read (the "failure B" of the filter set): the model
// fails and the run ends. verbatim: the texts of both stops, with their "@" pads.
Flow filter_list_unreadable(ReportContext& report) {
  report.console.say(kWarningBar);
  report.console.say("[ReadFilters] WARNING! PROBLEM - Filters List @");
  report.console.say(kWarningBar);
  report.fail();
  return Flow::stop;
}

// A standard spectrum cannot be read ("failure A"): its lines, then those of an unreadable
// list.
Flow no_standard_spectrum(ReportContext& report) {
  report.console.say(kWarningBar);
  report.console.say("[ReadFilters] WARNING! NO SPECTRUM READ @@@@@@@");
  report.console.say(kWarningBar);
  return filter_list_unreadable(report);
}

// Record 1 "label N", then N records "λ flux". nullopt for a file that cannot be opened or
// read, a count outside 2..10,000, or an end of file before the N-th sample.
std::optional<StandardSpectrum> read_standard(const FileOpener& open, const std::string& path) {
  auto file = open(path);
  if (!file) return std::nullopt;
  std::string label;
  std::int32_t n = 0;
  {
    ListRead head(*file);
    head.text(label);
    head.integer(n);
    if (head.status() != ReadStatus::ok) return std::nullopt;
  }
  if (n < 2 || n > kMaxPoints) return std::nullopt;
  StandardSpectrum s;
  s.lambda.assign(std::size_t(n), 0.0f);
  s.flux.assign(std::size_t(n), 0.0f);
  for (std::size_t j = 0; j < std::size_t(n); ++j) {
    ListRead rec(*file);
    rec.real(s.lambda[j]);
    rec.real(s.flux[j]);
    if (rec.status() != ReadStatus::ok) return std::nullopt;
  }
  return s;
}

// The curve of filter i from its file: 15 header records skipped (an end of file there
// leaves no samples), then up to 10,000 samples until the end of the file. A sample is
// stored only when both of its values were read. False on a read error.
bool read_filter_curve(RecordFile& file, FilterSet& set, std::size_t i) {
  std::vector<float>& tl = set.t_lambda[i];
  std::vector<float>& tf = set.t_fluxes[i];
  tl.clear();
  tf.clear();
  int n = 0;
  bool at_end = false;
  for (int r = 0; r < kHeaderRecords && !at_end; ++r) {
    const ReadStatus st = ListRead(file).skip();
    if (st == ReadStatus::error) return false;
    at_end = st == ReadStatus::end_of_file;
  }
  while (!at_end && n < kMaxPoints) {
    float point[2] = {kSentinel, kSentinel};       // λ, transmission
    if (!textio::read_plain_reals(file, point)) {  // not the usual plain record
      ListRead rec(file);
      rec.real(point[0]);
      rec.real(point[1]);
      if (rec.status() == ReadStatus::error) return false;
      if (rec.status() == ReadStatus::end_of_file) break;
    }
    tl.push_back(point[0]);
    tf.push_back(point[1]);
    ++n;
  }
  set.Npt_fil[i] = n;
  return true;
}

// The three standard spectra.
struct Standards {
  StandardSpectrum vega, sun, fbd;
};

// Calibration of filter i (n >= 1 samples) on the three standard spectra; `v` is work space
// of kMaxPoints values.
void calibrate(ReportContext& report, FilterSet& set, std::size_t i, const Standards& stars, std::vector<float>& v,
               Rule rule) {
  const auto lf = set.lambda(int(i));
  const auto tf = set.transmission(int(i));
  const std::size_t n = lf.size();
  const float lo = lf[0];
  const float hi = lf[n - 1];

  set.T_l_Area[i] = IntegralALL(report, lf, tf, lo, hi, rule);
  // T·c/λ², c in Å/s applied as km/s then Å/km, each in single precision.
  for (std::size_t k = 0; k < n; ++k) {
    v[k] = (tf[k] / (lf[k] * lf[k])) * 299792.46875f;
    v[k] = v[k] * 9999999827968.0f;
  }
  set.T_n_Area[i] = IntegralALL(report, lf, std::span<const float>(v).first(n), lo, hi, rule);

  const float area = set.T_l_Area[i];
  const auto through = [&](const StandardSpectrum& s) {
    return EvalTFluxes(report, s.lambdas(), s.fluxes(), lf, tf, area, rule);
  };
  const FilterFlux fv = through(stars.vega);
  // The Sun is measured for the effect of its integrations on the status only.
  (void)through(stars.sun);
  const FilterFlux fb = through(stars.fbd);

  const float f_v = fv.flux;
  const float f_bd = fb.flux;
  set.lamb_eff[i] = fv.lambda_eff;
  set.F_l_Vega[i] = f_v;
  // Mean f_ν of Vega over the filter: ∫F T dλ / ∫T c/λ² dλ. No guard: a non-positive
  // flux or area gives NaN or -Infinity, which every later test treats as missing.
  set.M_ABVega[i] = -(2.5f * std::log10(f_v / set.T_n_Area[i])) - 48.6f;
  set.T_G_Vega[i] = f_bd > 0.0f ? 9.5f - 2.5f * std::log10(f_v / f_bd) : kSentinel;
}

// verbatim: the labels ("axfilter" for the filter's name).
void list_calibration(Console& console, const FilterSet& set, std::size_t i) {
  console.say("... axfilter: " + std::string(textio::adjust_trim(set.name_fil[i])));
  console.say("... T_l_Area: " + textio::adj_f(set.T_l_Area[i], 15, 5));
  console.say("... T_n_Area: " + textio::adj_e(set.T_n_Area[i], 15, 5));
  console.say("... M_ABVega: " + textio::adj_f(set.M_ABVega[i], 15, 5));
  console.say("... T_G_Vega: " + textio::adj_f(set.T_G_Vega[i], 15, 5));
  console.say("... lamb_eff: " + textio::adj_f(set.lamb_eff[i], 15, 5));
}

// The list's filter curves into `set` (Nfilters, names, samples).
Flow read_filter_curves(ReportContext& report, FilterSet& set, const FileOpener& open,
                        const std::function<std::string(std::string_view)>& path_of) {
  auto list = open(path_of("ListFilters.txt"));
  if (!list) return filter_list_unreadable(report);
  std::int32_t count = 0;
  if (ListRead(*list).integer(count) != ReadStatus::ok) return filter_list_unreadable(report);
  if (count > kMaxFilters) return filter_list_unreadable(report);
  set.Nfilters = count;
  if (report.listing()) {
    report.console.say("[ReadFilters]");
    report.console.say("... Nfilters: " + textio::adj_i(count));
  }
  for (std::size_t i = 0; i < std::size_t(std::max(count, 0)); ++i) {
    if (ListRead(*list).text(set.name_fil[i]) != ReadStatus::ok) return filter_list_unreadable(report);
    auto file = open(path_of(set.name_fil[i]));
    if (!file || !read_filter_curve(*file, set, i)) return filter_list_unreadable(report);
  }
  return Flow::go_on;
}

}  // namespace

Flow ReadFilters(ReportContext& report, FilterSet& set, std::string_view fil_dir, Rule rule, const FileOpener& open) {
  if (report.failed()) return Flow::go_on;

  set.Nfilters = 0;
  for (auto* a : {&set.T_l_Area, &set.T_n_Area, &set.M_ABVega, &set.T_G_Vega, &set.F_l_Vega, &set.lamb_eff}) {
    reset_to_sentinel(*a);
  }
  for (auto& name : set.name_fil) name = "NONE";

  const std::string prefix = textio::used_part(fil_dir);
  const auto path_of = [&prefix](std::string_view name) { return textio::cut_text(prefix + std::string(name)); };

  Standards stars;
  for (auto [star, file] :
       {std::pair{&stars.vega, "VegaLR.dat"}, {&stars.sun, "Sun_LR.dat"}, {&stars.fbd, "BD+17d4708.dat"}}) {
    auto s = read_standard(open, path_of(file));
    if (!s) return no_standard_spectrum(report);
    *star = std::move(*s);
  }
  if (read_filter_curves(report, set, open, path_of) == Flow::stop) return Flow::stop;

  const std::size_t count = std::size_t(std::max(set.Nfilters, 0));
  std::vector<float> v(kMaxPoints);
  for (std::size_t i = 0; i < count; ++i) {
    if (set.Npt_fil[i] < 1) continue;
    calibrate(report, set, i, stars, v, rule);
    if (report.listing()) list_calibration(report.console, set, i);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const auto l = set.lambda(int(i));
    set.increasing[i] = l.size() >= 2 && strictly_increasing(l);
  }
  if (report.listing()) report.console.say("[ReadFilters]");
  return Flow::go_on;
}

}  // namespace veltrane
