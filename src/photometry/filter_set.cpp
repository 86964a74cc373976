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

// Where a curve's wavelengths first fail to increase strictly, noted as it is read: what
// says why a calibration failed (record 0: they increase). `first_record`: the record of its
// first sample.
struct CurveOrder {
  std::string path;
  long first_record = 0, record = 0;
  float before = 0.0f, after = 0.0f;
  void sample(const RecordFile& file, std::size_t k, float previous, float lambda) {
    if (k == 0) first_record = file.record_number();
    if (k > 0 && record == 0 && !(previous < lambda)) {
      record = file.record_number();
      before = previous;
      after = lambda;
    }
  }
  Problem problem() const {
    return {path,
            record,
            0,
            "wavelengths must increase strictly (" + number_text(after) + " Å after " + number_text(before) + " Å)",
            {}};
  }
};

// A standard star spectrum, held only during one call.
struct StandardSpectrum {
  std::vector<float> lambda;
  std::vector<float> flux;
  CurveOrder order;
  std::span<const float> lambdas() const { return lambda; }
  std::span<const float> fluxes() const { return flux; }
};

// The stop lines: "failure A" (a standard spectrum) is followed by the lines of "failure B"
// (the list or a filter file). verbatim: the texts of both stops, with their "@" pads.
std::vector<std::string> stop_lines(bool no_standard) {
  const std::string bar = indent(kWarningBar);
  std::vector<std::string> lines;
  if (no_standard) lines = {bar, indent("[ReadFilters] WARNING! NO SPECTRUM READ @@@@@@@"), bar};
  lines.insert(lines.end(), {bar, indent("[ReadFilters] WARNING! PROBLEM - Filters List @"), bar});
  return lines;
}

// A load that stops the run for `problem`.
FilterLoad stopped(FilterLoad& load, Problem problem, bool no_standard) {
  load.set.reset();
  load.flow = Flow::stop;
  load.no_standard = no_standard;
  load.stop = std::move(problem);
  load.stop.console = stop_lines(no_standard);
  return std::move(load);
}

// A file of the set that cannot be opened.
Problem unopened(const std::string& path) { return {path, 0, 0, "cannot be opened: " + system_reason(), {}}; }

// Record 1 "label N", then N records "λ flux". The problem of a file that cannot be opened
// or read, a count outside 2..10,000, or an end of file before the N-th sample.
std::optional<StandardSpectrum> read_standard(const FileOpener& open, const std::string& path, Problem& problem) {
  auto file = open(path);
  if (!file) {
    problem = unopened(path);
    return std::nullopt;
  }
  std::string label;
  std::int32_t n = 0;
  {
    ListRead head(*file);
    head.text(label);
    head.integer(n);
    if (head.status() != ReadStatus::ok) {
      problem = read_problem(path, *file, head.status(), &head, "a label and the number of samples");
      return std::nullopt;
    }
  }
  if (n < 2 || n > kMaxPoints) {
    problem = {path,
               1,
               0,
               "the spectrum announces " + std::to_string(n) + " samples; a standard spectrum holds 2 to 10,000",
               {}};
    return std::nullopt;
  }
  StandardSpectrum s;
  s.lambda.assign(std::size_t(n), 0.0f);
  s.flux.assign(std::size_t(n), 0.0f);
  s.order.path = path;
  for (std::size_t j = 0; j < std::size_t(n); ++j) {
    ListRead rec(*file);
    rec.real(s.lambda[j]);
    rec.real(s.flux[j]);
    if (rec.status() != ReadStatus::ok) {
      problem = read_problem(path, *file, rec.status(), &rec,
                             "sample " + std::to_string(j + 1) + " of " + std::to_string(n) + " (wavelength, flux)");
      return std::nullopt;
    }
    s.order.sample(*file, j, j > 0 ? s.lambda[j - 1] : 0.0f, s.lambda[j]);
  }
  return s;
}

// The curve of filter i from its file: 15 header records skipped (an end of file there
// leaves no samples), then up to 10,000 samples until the end of the file. A sample is
// stored only when both of its values were read. False on a read error, with its problem.
bool read_filter_curve(RecordFile& file, const std::string& path, FilterSet& set, std::size_t i, CurveOrder& order,
                       Problem& problem) {
  std::vector<float>& tl = set.t_lambda[i];
  std::vector<float>& tf = set.t_fluxes[i];
  tl.clear();
  tf.clear();
  int n = 0;
  bool at_end = false;
  for (int r = 0; r < kFilterHeaderRecords && !at_end; ++r) {
    const ReadStatus st = ListRead(file).skip();
    if (st == ReadStatus::error) {
      problem = read_problem(path, file, st, nullptr, "a header record");
      return false;
    }
    at_end = st == ReadStatus::end_of_file;
  }
  while (!at_end && n < kMaxPoints) {
    float point[2] = {kSentinel, kSentinel};       // λ, transmission
    if (!textio::read_plain_reals(file, point)) {  // not the usual plain record
      ListRead rec(file);
      rec.real(point[0]);
      rec.real(point[1]);
      if (rec.status() == ReadStatus::error) {
        problem = read_problem(path, file, rec.status(), &rec, "two numbers (wavelength, transmission)");
        return false;
      }
      if (rec.status() == ReadStatus::end_of_file) break;
    }
    order.sample(file, tl.size(), tl.empty() ? 0.0f : tl.back(), point[0]);
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

// The list's filter curves into `set` (Nfilters, names, samples) with their order; the
// problem of a stop.
bool read_filter_curves(FilterSet& set, const FileOpener& open,
                        const std::function<std::string(std::string_view)>& path_of, FilterLoad& load,
                        std::vector<CurveOrder>& orders, Problem& problem) {
  const std::string list_path = path_of("ListFilters.txt");
  auto list = open(list_path);
  if (!list) {
    problem = unopened(list_path);
    return false;
  }
  std::int32_t count = 0;
  {
    ListRead head(*list);
    if (head.integer(count) != ReadStatus::ok) {
      problem = read_problem(list_path, *list, head.status(), &head, "the number of filters");
      return false;
    }
  }
  if (count > kMaxFilters) {
    problem = {list_path,
               1,
               0,
               "the list announces " + std::to_string(count) + " filters; a filter set holds at most 300",
               {}};
    return false;
  }
  set.Nfilters = count;
  load.counted = true;
  load.count = count;
  orders.assign(std::size_t(std::max(count, 0)), {});
  for (std::size_t i = 0; i < std::size_t(std::max(count, 0)); ++i) {
    ListRead name(*list);
    if (name.text(set.name_fil[i]) != ReadStatus::ok) {
      problem = read_problem(list_path, *list, name.status(), &name,
                             "the name of filter " + std::to_string(i + 1) + " of " + std::to_string(count));
      return false;
    }
    const std::string path = path_of(set.name_fil[i]);
    const std::string listed = " (filter " + std::to_string(i + 1) + " of ListFilters.txt, record " +
                               std::to_string(list->record_number()) + ")";
    auto file = open(path);
    if (!file) {
      problem = unopened(path);
      problem.reason += listed;
      return false;
    }
    orders[i].path = path;
    if (!read_filter_curve(*file, path, set, i, orders[i], problem)) {
      problem.reason += listed;
      return false;
    }
  }
  return true;
}

// Why the calibration of filter i failed, from what was read: a curve of one sample, a
// filter curve or a standard spectrum out of order; nullopt when none of these explains it
// (the integrals' own problems then stand).
std::optional<Problem> calibration_cause(const FilterSet& set, std::size_t i, const CurveOrder& order,
                                         const Standards& stars) {
  if (set.Npt_fil[i] == 1)
    return Problem{order.path, order.first_record, 0, "a filter curve needs two samples or more; it has one", {}};
  if (order.record > 0) return order.problem();
  for (const StandardSpectrum* s : {&stars.vega, &stars.sun, &stars.fbd})
    if (s->order.record > 0) return s->order.problem();
  return std::nullopt;
}

// The calibration of every filter with samples, each with a context of its own that keeps
// the problems of its integrals (their console lines are printed by report_filter_load).
void calibrate_all(FilterSet& set, const Standards& stars, Rule rule, const std::vector<CurveOrder>& orders,
                   FilterLoad& load) {
  const std::size_t count = std::size_t(std::max(set.Nfilters, 0));
  load.calibration.assign(count, {});
  std::vector<float> v(kMaxPoints);
  for (std::size_t i = 0; i < count; ++i) {
    if (set.Npt_fil[i] < 1) continue;
    CapturedReport quiet;
    quiet.context.problems = &load.calibration[i];
    quiet.context.subject = orders[i].path;
    calibrate(quiet.context, set, i, stars, v, rule);
    if (load.calibration[i].empty()) continue;
    if (const auto cause = calibration_cause(set, i, orders[i], stars)) {
      for (Problem& p : load.calibration[i]) {
        p.file = cause->file;
        p.record = cause->record;
        p.reason = cause->reason;
      }
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    const auto l = set.lambda(int(i));
    set.increasing[i] = l.size() >= 2 && strictly_increasing(l);
  }
}

}  // namespace

const std::shared_ptr<const FilterSet>& FilterSet::unloaded() {
  static const std::shared_ptr<const FilterSet> none = std::make_shared<const FilterSet>();
  return none;
}

const Problem* FilterLoad::calibration_problem() const {
  for (const auto& problems : calibration)
    if (!problems.empty()) return &problems.front();
  return nullptr;
}

FilterLoad load_filter_set(std::string_view fil_dir, Rule rule, const FileOpener& open) {
  FilterLoad load;
  auto set = std::make_shared<FilterSet>();
  set->Nfilters = 0;
  for (auto* a : {&set->T_l_Area, &set->T_n_Area, &set->M_ABVega, &set->T_G_Vega, &set->F_l_Vega, &set->lamb_eff}) {
    reset_to_sentinel(*a);
  }
  for (auto& name : set->name_fil) name = "NONE";

  const std::string prefix = textio::used_part(fil_dir);
  const auto path_of = [&prefix](std::string_view name) { return textio::cut_text(prefix + std::string(name)); };

  Standards stars;
  Problem problem;
  for (auto [star, file] :
       {std::pair{&stars.vega, "VegaLR.dat"}, {&stars.sun, "Sun_LR.dat"}, {&stars.fbd, "BD+17d4708.dat"}}) {
    auto s = read_standard(open, path_of(file), problem);
    if (!s) return stopped(load, std::move(problem), true);
    *star = std::move(*s);
  }
  std::vector<CurveOrder> orders;
  if (!read_filter_curves(*set, open, path_of, load, orders, problem)) return stopped(load, std::move(problem), false);
  calibrate_all(*set, stars, rule, orders, load);
  load.set = std::move(set);
  return load;
}

Flow report_filter_load(ReportContext& report, const FilterLoad& load) {
  if (load.counted && report.listing()) {
    report.console.say("[ReadFilters]");
    report.console.say("... Nfilters: " + textio::adj_i(load.count));
  }
  if (load.flow == Flow::stop) {
    report.fail(load.stop);
    return Flow::stop;
  }
  const FilterSet& set = *load.set;
  for (std::size_t i = 0; i < load.calibration.size(); ++i) {
    if (set.Npt_fil[i] < 1) continue;
    for (const Problem& p : load.calibration[i]) report.fail(p);
    if (report.listing()) list_calibration(report.console, set, i);
  }
  if (report.listing()) report.console.say("[ReadFilters]");
  return Flow::go_on;
}

FilterLoad ReadFilters(ReportContext& report, std::string_view fil_dir, Rule rule, const FileOpener& open) {
  if (report.failed()) return {};
  FilterLoad load = load_filter_set(fil_dir, rule, open);
  report_filter_load(report, load);
  return load;
}

}  // namespace veltrane
