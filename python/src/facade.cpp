// Every call the Python module makes into Veltrane's C++ is in this file (see facade.h).
#include "facade.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "cache/input_cache.h"
#include "driver/model.h"
#include "driver/parameters.h"
#include "driver/state.h"
#include "extinction/laws.h"
#include "extinction/red_term.h"
#include "numerics/renorm.h"
#include "photometry/filter_flux.h"
#include "photometry/filter_set.h"
#include "photometry/magnitudes.h"
#include "readers/synthesis_result.h"
#include "support/console.h"
#include "support/diagnostics.h"
#include "support/limits.h"
#include "support/problem_log.h"
#include "support/report.h"
#include "support/run_stop.h"
#include "textio/format.h"
#include "textio/list_input.h"
#include "textio/text_length.h"

namespace veltrane::facade {

namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

// The facade's names for the systems and the laws are the kernels' own.
static_assert(kSystems == kNumSystems);
static_assert(std::ranges::equal(facade::kLawCodes, veltrane::kLawCodes,
                                 [](const char* a, std::string_view b) { return a == b; }));

constexpr Rule kTrapezoids = Rule::T;           // the integration rule of every run
constexpr std::size_t kMaxStem = kTextLen - 8;  // a run's longest result path (".MAG.out" fits)
constexpr int kFilterHeader = 15;               // records skipped at the top of a filter file
constexpr std::array<const char*, 3> kStandards = {"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"};
constexpr const char* kList = "ListFilters.txt";

[[noreturn]] void fail(Fault kind, const std::string& what) { throw Error(kind, what); }

std::string show(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// A directory text as a run takes it: used up to its first blank and joined to file names
// without a separator, at most 600 characters with the longest name joined to it.
void check_directory(const std::string& dir, std::size_t longest_name, const char* what) {
  if (dir.empty() || dir.back() != '/') fail(Fault::value, std::string(what) + " must end with '/': '" + dir + "'");
  if (dir.find_first_of(" \t") != std::string::npos)
    fail(Fault::value, std::string(what) + " must not hold a blank (a run reads it up to its first blank): '" + dir + "'");
  if (dir.size() + longest_name > kTextLen)
    fail(Fault::value, std::string(what) + " is too long (a run's file names hold at most 600 characters): '" + dir + "'");
}

// The whole of a regular file (a directory or a file that cannot be read: ok false).
std::string read_file(const std::string& path, bool& ok) {
  std::string text;
  ok = false;
  if (!regular_file_at(path)) return text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  ok = std::ferror(f) == 0;
  std::fclose(f);
  return text;
}

// ---- Messages about a filter set that cannot be read ----------------------------------------

// A text file split into its records, read statement by statement as a run reads it, for
// saying where a run's reading went wrong. A statement that needs more values than its first
// record holds goes on into the next ones, as in a run.
class RecordScan {
 public:
  explicit RecordScan(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t end = text.find('\n', at);
      if (end == std::string::npos) {
        lines_.push_back(text.substr(at));
        break;
      }
      lines_.push_back(text.substr(at, end - at));
      at = end + 1;
    }
  }
  // Runs `items` on a ListRead of the next statement; its status, first record and message.
  template <class Items>
  ReadStatus statement(Items items) {
    record_ = int(next_) + 1;
    message_.clear();
    if (next_ >= lines_.size()) return ReadStatus::end_of_file;
    std::string joined;
    for (std::size_t m = next_; m < lines_.size(); ++m) {
      joined += lines_[m];
      joined += '\n';
      RecordFile file = RecordFile::from_string(joined);
      ListRead r(file);
      items(r);
      if (r.status() != ReadStatus::end_of_file || m + 1 == lines_.size()) {
        next_ = m + 1;
        message_ = r.message();
        return r.status();
      }
    }
    return ReadStatus::end_of_file;
  }
  int record() const { return record_; }
  std::string line() const {
    const std::string& l = lines_[std::size_t(record_ - 1)];
    return l.size() > 60 ? l.substr(0, 60) + "..." : l;
  }
  std::string message() const { return message_; }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  int record_ = 0;
  std::string message_;
};

struct Problem {
  std::string path;
  int record = 0;
  std::string what;
};

// Messages name a file as the list does, without its directory (Problem::path has it).
std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

Problem unreadable(const std::string& path) {
  return {path, 0, file_name(path) + ": cannot be opened (missing, a directory or not readable)"};
}

Problem at_record(const std::string& path, const RecordScan& scan, const std::string& what) {
  return {path, scan.record(), file_name(path) + " record " + std::to_string(scan.record()) + ": " + what};
}

std::string found(const RecordScan& scan) {
  return "found '" + scan.line() + "'" + (scan.message().empty() ? "" : " (" + scan.message() + ")");
}

// The first fault of a standard spectrum: "label N", then N samples, N from 2 to 10,000.
std::optional<Problem> standard_problem(const std::string& path, std::vector<float>* lambda) {
  bool ok = false;
  const std::string text = read_file(path, ok);
  if (!ok) return unreadable(path);
  RecordScan scan(text);
  std::string label;
  std::int32_t n = 0;
  if (scan.statement([&](ListRead& r) { r.text(label); r.integer(n); }) != ReadStatus::ok)
    return at_record(path, scan, "expected a label and the number of samples, " + found(scan));
  if (n < 2 || n > kMaxPoints)
    return at_record(path, scan, "announces " + std::to_string(n) + " samples; a standard spectrum holds 2 to 10,000");
  for (std::int32_t j = 0; j < n; ++j) {
    float l = 0.0f, f = 0.0f;
    const ReadStatus st = scan.statement([&](ListRead& r) { r.real(l); r.real(f); });
    if (st == ReadStatus::end_of_file)
      return Problem{path, 0, file_name(path) + ": ends after " + std::to_string(j) + " of its " + std::to_string(n) + " samples"};
    if (st == ReadStatus::error)
      return at_record(path, scan, "expected two numbers (wavelength in Å, flux), " + found(scan));
    if (lambda) lambda->push_back(l);
  }
  return std::nullopt;
}

// The records of a filter curve's samples (1-based), as a run reads them.
struct CurveScan {
  std::optional<Problem> problem;
  std::vector<int> records;
  std::vector<float> lambda;
};
CurveScan scan_curve(const std::string& path) {
  CurveScan c;
  bool ok = false;
  const std::string text = read_file(path, ok);
  if (!ok) {
    c.problem = unreadable(path);
    return c;
  }
  RecordScan scan(text);
  for (int r = 0; r < kFilterHeader; ++r) {
    const ReadStatus st = scan.statement([](ListRead& rd) { rd.skip(); });
    if (st == ReadStatus::end_of_file) return c;
    if (st == ReadStatus::error) {
      c.problem = at_record(path, scan, "cannot be read, " + found(scan));
      return c;
    }
  }
  while (int(c.lambda.size()) < kMaxPoints) {
    float l = kSentinel, t = kSentinel;
    const ReadStatus st = scan.statement([&](ListRead& r) { r.real(l); r.real(t); });
    if (st == ReadStatus::end_of_file) break;
    if (st == ReadStatus::error) {
      c.problem = at_record(path, scan, "expected two numbers (wavelength in Å, transmission), " + found(scan));
      return c;
    }
    c.records.push_back(scan.record());
    c.lambda.push_back(l);
  }
  return c;
}

// The first sample (0-based) not above the one before, or -1.
int first_not_increasing(const std::vector<float>& l) {
  for (std::size_t k = 1; k < l.size(); ++k)
    if (!(l[k - 1] < l[k])) return int(k);
  return -1;
}

// Where the reading or the calibration of the set in `dir` went wrong, in the order a run reads.
Problem diagnose(const std::string& dir) {
  for (const char* name : kStandards) {
    std::vector<float> lambda;
    if (auto p = standard_problem(dir + name, &lambda)) return *p;
    if (const int k = first_not_increasing(lambda); k >= 0)
      return {dir + name, k + 2, std::string(name) + " record " + std::to_string(k + 2) +
                                     ": wavelengths must increase strictly (" + show(lambda[std::size_t(k)]) +
                                     " Å after " + show(lambda[std::size_t(k - 1)]) + " Å)"};
  }
  const std::string list_path = dir + kList;
  bool ok = false;
  const std::string text = read_file(list_path, ok);
  if (!ok) return unreadable(list_path);
  RecordScan list(text);
  std::int32_t count = 0;
  if (list.statement([&](ListRead& r) { r.integer(count); }) != ReadStatus::ok)
    return at_record(list_path, list, "expected the number of filters, " + found(list));
  if (count > kMaxFilters)
    return at_record(list_path, list, "announces " + std::to_string(count) + " filters; a filter set holds at most 300");
  for (std::int32_t i = 0; i < count; ++i) {
    std::string name;
    const ReadStatus st = list.statement([&](ListRead& r) { r.text(name); });
    if (st != ReadStatus::ok)
      return Problem{list_path, list.record(),
                     std::string(kList) + ": announces " + std::to_string(count) + " filters but its filter " +
                         std::to_string(i + 1) + " cannot be read (" +
                         (st == ReadStatus::end_of_file ? std::string("end of file") : found(list)) + ")"};
    const std::string path = dir + name;
    const int listed = list.record();
    const CurveScan c = scan_curve(path);
    if (c.problem) {
      Problem p = *c.problem;
      p.what += " (filter " + std::to_string(i + 1) + " of " + kList + ", record " + std::to_string(listed) + ")";
      return p;
    }
    if (c.lambda.size() == 1)
      return {path, c.records[0], name + ": a filter curve needs two samples or more; it has one (record " +
                                      std::to_string(c.records[0]) + ")"};
    if (const int k = first_not_increasing(c.lambda); k >= 0)
      return {path, c.records[std::size_t(k)],
              name + " record " + std::to_string(c.records[std::size_t(k)]) +
                  ": wavelengths must increase strictly (" + show(c.lambda[std::size_t(k)]) + " Å after " +
                  show(c.lambda[std::size_t(k - 1)]) + " Å)"};
  }
  return {dir, 0, ""};
}

[[noreturn]] void filter_set_error(const std::string& dir, const Console& console) {
  Problem p = diagnose(dir);
  std::string what = "cannot load the filter set in '" + dir + "': ";
  if (p.what.empty()) {
    // Nothing found by reading the files again: what the run printed is all there is.
    what += "the calibration failed";
    p.path = dir;
  } else {
    what += p.what;
  }
  throw Error(Fault::filter_file, what, p.path, p.record, console.captured());
}

// ---- The filter set --------------------------------------------------------------------------

std::array<float, kSystems> zero_points_of(const FilterSet& set, std::size_t i) {
  // The seven zero points of EvalFilters, in its order and arithmetic.
  const float z1 = 2.5f * std::log10(set.F_l_Vega[i]);
  const float tg = set.T_G_Vega[i];
  return {z1, z1 + 0.026f, set.M_ABVega[i] + z1, tg > kSentinel ? tg + z1 : kSentinel, -21.1f, -21.175f, 0.0f};
}

// A filter file rewritten with every transmission multiplied by its wavelength, in single
// precision; each number written as the shortest text that reads back to the same float.
std::string photon_curve_text(std::span<const float> l, std::span<const float> t) {
  std::string text;
  for (int r = 0; r < kFilterHeader; ++r) text += "#\n";
  for (std::size_t k = 0; k < l.size(); ++k) {
    text += show(l[k]);
    text += ' ';
    text += show(l[k] * t[k]);
    text += '\n';
  }
  return text;
}

// The same float, or NaN both (a NaN read back need not keep the payload it was written from).
bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

}  // namespace

struct Filters::Impl {
  std::shared_ptr<const FilterSet> set;
  Weighting weighting = Weighting::energy;
  std::string directory;
  std::vector<std::string> names;
  std::vector<std::array<float, kSystems>> zero;
  std::vector<std::vector<float>> lambda, transmission;  // as read, energy units
  int count() const { return int(names.size()); }
};

namespace {

std::shared_ptr<Filters::Impl> wrap(std::shared_ptr<const FilterSet> set, Weighting w, std::string dir,
                                    const FilterSet* energy) {
  auto impl = std::make_shared<Filters::Impl>();
  const int n = std::clamp(set->Nfilters, 0, kMaxFilters);
  impl->weighting = w;
  impl->directory = std::move(dir);
  for (int i = 0; i < n; ++i) {
    impl->names.push_back(set->name_fil[std::size_t(i)]);
    impl->zero.push_back(zero_points_of(*set, std::size_t(i)));
    const FilterSet& e = energy ? *energy : *set;
    impl->lambda.emplace_back(e.lambda(i).begin(), e.lambda(i).end());
    impl->transmission.emplace_back(e.transmission(i).begin(), e.transmission(i).end());
  }
  impl->set = std::move(set);
  return impl;
}

// ReadFilters on `dir` as a run calls it; `open` serves the files.
std::shared_ptr<FilterSet> read_filters(const std::string& dir, const FileOpener& open) {
  auto set = std::make_shared<FilterSet>();
  CapturedReport r;
  if (ReadFilters(r.context, *set, dir, kTrapezoids, open) == Flow::stop || r.context.failed())
    filter_set_error(dir, r.console);
  return set;
}

}  // namespace

Filters Filters::load(const std::string& directory, Weighting weighting) {
  check_directory(directory, std::strlen(kList), "the filter directory");
  const auto plain = [](const std::string& p) { return RecordFile::open(p); };
  std::shared_ptr<FilterSet> energy = read_filters(directory, plain);
  if (weighting == Weighting::energy) return Filters(wrap(energy, weighting, directory, nullptr));

  // The same files with every curve as T·λ: the calibration runs unchanged on them. The
  // first four files opened are the standard spectra and the list, then the curves in order.
  int opened = 0;
  const auto photon = [&](const std::string& p) -> std::optional<RecordFile> {
    const int i = opened++ - 4;
    if (i < 0 || i >= energy->Nfilters) return RecordFile::open(p);
    return RecordFile::from_string(photon_curve_text(energy->lambda(i), energy->transmission(i)));
  };
  std::shared_ptr<FilterSet> set = read_filters(directory, photon);
  for (int i = 0; i < std::clamp(energy->Nfilters, 0, kMaxFilters); ++i) {
    const auto l0 = energy->lambda(i), t0 = energy->transmission(i);
    const auto l1 = set->lambda(i), t1 = set->transmission(i);
    bool same = l0.size() == l1.size();
    for (std::size_t k = 0; same && k < l0.size(); ++k)
      same = same_bits(l0[k], l1[k]) && same_bits(l0[k] * t0[k], t1[k]);
    if (!same) fail(Fault::internal, "photon-weighted curve of " + energy->name_fil[std::size_t(i)] + " not read back exactly");
  }
  return Filters(wrap(set, weighting, directory, energy.get()));
}

int Filters::size() const { return impl_->count(); }
Weighting Filters::weighting() const { return impl_->weighting; }
const std::string& Filters::directory() const { return impl_->directory; }
const std::vector<std::string>& Filters::names() const { return impl_->names; }

std::vector<int> Filters::samples() const {
  return {impl_->set->Npt_fil.begin(), impl_->set->Npt_fil.begin() + impl_->count()};
}

namespace {
std::vector<float> first(const std::vector<float>& v, int n) { return {v.begin(), v.begin() + n}; }
}  // namespace

std::vector<float> Filters::lambda_eff() const { return first(impl_->set->lamb_eff, size()); }
std::vector<float> Filters::area() const { return first(impl_->set->T_l_Area, size()); }
std::vector<float> Filters::nu_area() const { return first(impl_->set->T_n_Area, size()); }
std::vector<float> Filters::vega_flux() const { return first(impl_->set->F_l_Vega, size()); }
std::vector<float> Filters::ab_vega() const { return first(impl_->set->M_ABVega, size()); }
std::vector<float> Filters::tg_vega() const { return first(impl_->set->T_G_Vega, size()); }

std::vector<float> Filters::zero_points() const {
  std::vector<float> z;
  for (const auto& row : impl_->zero) z.insert(z.end(), row.begin(), row.end());
  return z;
}

std::vector<float> Filters::curve_lambda(int i) const { return impl_->lambda.at(std::size_t(i)); }
std::vector<float> Filters::curve_transmission(int i) const { return impl_->transmission.at(std::size_t(i)); }

// ---- Measurements ----------------------------------------------------------------------------

struct Work::Impl {
  FilterWork work;
  void fit(std::size_t n) {
    for (auto* v : {&work.ts, &work.tq, &work.tp})
      if (v->size() < n) v->resize(n, 0.0f);
  }
};
Work::Work() : impl_(std::make_unique<Impl>()) {}
Work::~Work() = default;
Work::Work(Work&&) noexcept = default;
Work& Work::operator=(Work&&) noexcept = default;

struct Filters::Grid::Impl {
  std::vector<float> wave;
  std::vector<Band> bands;  // per filter (empty for a filter without samples)
  Spectrum spectrum{{}, {}};  // wave, checked; its flux is set per measurement
};

std::size_t Filters::Grid::size() const { return impl_->wave.size(); }

namespace {

void check_grid(std::span<const float> wave) {
  if (wave.empty()) fail(Fault::value, "the wavelength grid is empty");
  for (std::size_t k = 0; k < wave.size(); ++k) {
    if (!std::isfinite(wave[k]))
      fail(Fault::value, "wavelength " + std::to_string(k) + " is not a finite number (" + show(wave[k]) + ")");
    if (k > 0 && !(wave[k - 1] < wave[k]))
      fail(Fault::value, "wavelengths must increase strictly: wavelength " + std::to_string(k) + " (" +
                             show(wave[k]) + " Å) is not above the one before (" + show(wave[k - 1]) + " Å)");
  }
}

// One filter's results into `out` at filter i, the magnitudes as EvalFilters makes them.
void store(const Outputs& out, std::size_t i, const FilterFlux& r, const std::array<float, kSystems>& z) {
  const float F = r.flux;
  if (!out.flux.empty()) out.flux[i] = F == kSentinel ? out.missing : F;
  if (!out.covered.empty()) out.covered[i] = r.covered;
  if (!out.positive.empty()) out.positive[i] = r.positive;
  if (out.magnitudes.empty()) return;
  const float m = F > 0.0f ? 2.5f * std::log10(F) : 0.0f;
  for (std::size_t k = 0; k < std::size_t(kSystems); ++k)
    out.magnitudes[i * kSystems + k] = (F > 0.0f && z[k] > kSentinel) ? z[k] - m : out.missing;
}

}  // namespace

Filters::Grid Filters::prepare(std::span<const float> wave) const {
  check_grid(wave);
  auto g = std::make_shared<Grid::Impl>();
  g->wave.assign(wave.begin(), wave.end());
  g->spectrum = Spectrum(g->wave, g->wave);
  const FilterSet& set = *impl_->set;
  g->bands.resize(std::size_t(size()));
  for (int i = 0; i < size(); ++i)
    if (!set.lambda(i).empty()) g->bands[std::size_t(i)] = band_on_grid(g->wave, set.lambda(i), set.transmission(i));
  return Grid(g);
}

void Filters::measure(const Grid& grid, std::span<const float> flux, Work& work, const Outputs& out) const {
  const Grid::Impl& g = grid.impl();
  if (flux.size() != g.wave.size()) fail(Fault::value, "the spectrum and the wavelength grid differ in length");
  Spectrum s = g.spectrum;
  s.flux = flux;
  work.impl().fit(flux.size());
  const FilterSet& set = *impl_->set;
  for (int f = 0; f < size(); ++f) {
    const std::size_t i = std::size_t(f);
    FilterFlux r;
    r.flux = kSentinel;
    // Every curve with samples increases strictly: a set where one does not fails to load.
    if (!set.lambda(f).empty())
      r = EvalTFluxesOnBand(s, set.lambda(f), set.transmission(f), set.T_l_Area[i], work.impl().work, &g.bands[i]);
    store(out, i, r, impl_->zero[i]);
  }
}

void Filters::measure_literal(std::span<const float> wave, std::span<const float> flux, const Outputs& out) const {
  check_grid(wave);
  if (flux.size() != wave.size()) fail(Fault::value, "the spectrum and the wavelength grid differ in length");
  const FilterSet& set = *impl_->set;
  CapturedReport report;
  FilterResults results;
  std::vector<float> plane(std::size_t(kNumSystems) * kMaxFilters, kSentinel);
  EvalFilters(report.context, wave, flux, set, results, plane, kTrapezoids);
  for (int f = 0; f < size(); ++f) {
    const std::size_t i = std::size_t(f);
    const FilterFlux r = EvalTFluxesLiteral(report.context, wave, flux, set.lambda(f), set.transmission(f),
                                            set.T_l_Area[i], kTrapezoids);
    if (!out.flux.empty()) out.flux[i] = r.flux == kSentinel ? out.missing : r.flux;
    if (!out.covered.empty()) out.covered[i] = results.filt_res_a[i];
    if (!out.positive.empty()) out.positive[i] = results.filt_res_b[i];
    for (std::size_t k = 0; k < std::size_t(kSystems) && !out.magnitudes.empty(); ++k) {
      const float m = plane[k * kMaxFilters + i];
      out.magnitudes[i * kSystems + k] = m == kSentinel ? out.missing : m;
    }
  }
  if (report.context.failed()) throw Error(Fault::internal, "an integration failed", "", 0, report.console.captured());
}

// ---- Extinction --------------------------------------------------------------------------

namespace {

// A checked code's law at λ; CCM with the given R_V.
LawValue law_at(ReportContext& report, LawCode code, float r_v, float lambda) {
  return code == LawCode::CCM ? CCMR_LawOPT(report, lambda, r_v) : evaluate_law(report, code, lambda);
}

// The laws append one report per wavelength out of range: a fresh log per block keeps that
// from growing with the array.
constexpr std::size_t kBlock = 4096;

std::string range_of(const std::string& code) {
  if (code == "CAL") return "1200-22000 Å";
  if (code == "CCJ") return "912-31149 Å";
  if (code == "CCM") return "1000-33333 Å";
  return "1194-21978 Å (0.455-8.375 μm⁻¹)";
}

}  // namespace

namespace {
// The law of a code given exactly (no trailing blank either, unlike a synthesis result's).
LawCode law_code(const std::string& code) {
  if (std::find_if(kLawCodes.begin(), kLawCodes.end(), [&](const char* c) { return code == c; }) == kLawCodes.end())
    fail(Fault::value, "unknown extinction law '" + code + "': use CAL, CCJ, CCM, GD1, GD2 or GD3");
  return *law_of_code(code);
}
}  // namespace

void check_law(const std::string& code) { (void)law_code(code); }

void law_values(const std::string& code, float r_v, std::span<const float> wave, std::span<float> q,
                std::span<std::uint8_t> in_range) {
  const LawCode law = law_code(code);
  for (std::size_t at = 0; at < wave.size(); at += kBlock) {
    CapturedReport r;
    for (std::size_t i = at; i < std::min(wave.size(), at + kBlock); ++i) {
      const LawValue v = law_at(r.context, law, r_v, wave[i]);
      q[i] = v.q;
      if (!in_range.empty()) in_range[i] = std::uint8_t(v.in_range);
    }
  }
}

float red_term(const std::string& code, float lambda_norm, std::span<const float> wave, std::span<float> red,
               std::span<std::uint8_t> in_range) {
  const LawCode law = law_code(code);
  {
    CapturedReport r;
    if (!evaluate_law(r.context, law, lambda_norm).in_range)
      fail(Fault::value, "lambda_norm = " + show(lambda_norm) + " Å is outside the range of law " + code + " (" +
                             range_of(code) + ")");
  }
  for (std::size_t k = 0; k < wave.size(); ++k)
    if (!(wave[k] > 0.0f) || !std::isfinite(wave[k]))
      fail(Fault::value, "wavelength " + std::to_string(k) + " is not a positive finite number (" + show(wave[k]) + ")");
  float q_norm = 0.0f;
  for (std::size_t at = 0; at < wave.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, wave.size() - at);
    CapturedReport r;
    q_norm = EvalRedTerm(r.context, wave.subspan(at, n), red.subspan(at, n), lambda_norm, code);
  }
  if (!in_range.empty()) {
    std::vector<float> q(wave.size());
    law_values(code, 3.1f, wave, q, in_range);
  }
  if (wave.empty()) {
    CapturedReport r;
    q_norm = evaluate_law(r.context, law, lambda_norm).q;
  }
  return q_norm;
}

void redden(float a_v, std::span<const float> red, std::span<const float> flux, std::span<float> out) {
  // The models of a run: flux × (units × 10^(A_V r)), here with units 1.
  for (std::size_t i = 0; i < flux.size(); ++i) out[i] = flux[i] * (1.0f * std::pow(10.0f, a_v * red[i]));
}

void deredden(float a_v, float q_norm, std::span<const float> red, std::span<const float> flux,
              std::span<float> out) {
  for (std::size_t i = 0; i < flux.size(); ++i)
    out[i] = flux[i] * std::pow(10.0f, (0.4f * q_norm - red[i]) * a_v);
}

float red_term_on_grid(const std::string& code, float lambda_norm, std::span<const float> grid,
                       std::span<const float> wave, std::span<float> red) {
  std::vector<float> on_grid(grid.size());
  const float q_norm = red_term(code, lambda_norm, grid, on_grid, {});
  const BaseGrid checked(grid);
  if (!checked.increasing) fail(Fault::value, "the grid's wavelengths must increase strictly");
  for (std::size_t i = 0; i < wave.size(); ++i) {
    CapturedReport r;
    red[i] = StatsReNorm(r.context, wave[i], checked, on_grid);
    if (r.context.failed())
      fail(Fault::value, "wavelength " + std::to_string(i) + " (" + show(wave[i]) + " Å) is outside the grid (" +
                             show(grid.front()) + "-" + show(grid.back()) + " Å)");
  }
  return q_norm;
}

// ---- One galaxy ----------------------------------------------------------------------------

namespace {

Fit fit_of(const FitResult& r) {
  Fit f;
  f.base_file = r.arq_info[1];
  f.law = std::string(textio::trim_right(r.R_LawOPT));
  f.a_v = r.A_V;
  f.lambda_norm = r.lbd_norm;
  f.flux_norm = r.flx_norm;
  f.q_norm = r.qlbdnorm;
  f.fit_from = r.Olsynini;
  f.fit_to = r.Olsynfin;
  f.mass_tot_2 = r.mass_tot_2;
  f.mass_tot_3 = r.mass_tot_3;
  f.m3_sum = r.m3_sum;
  f.rows = std::clamp(r.Num_base, 0, kMaxSsp);
  const auto rows = [&](const std::vector<float>& v) { return std::vector<float>(v.begin(), v.begin() + f.rows); };
  f.x = rows(r.x_j);
  f.m2 = rows(r.m2_j);
  f.m3 = rows(r.m3_j);
  f.age = rows(r.age_j);
  f.met = rows(r.met_j);
  f.alpha = rows(r.alph_j);
  f.ssp.assign(r.basename.begin(), r.basename.begin() + f.rows);
  const int n = std::clamp(r.N_obs, 0, kMaxPoints);
  const auto points = [&](const std::vector<float>& v) { return std::vector<float>(v.begin(), v.begin() + n); };
  f.wave = points(r.o_lambda);
  f.flux = points(r.o_fluxes);
  f.flux_s = points(r.s_fluxes);
  f.flux_w = points(r.w_fluxes);
  return f;
}

void check_result_path(const std::string& path) {
  if (path.empty()) fail(Fault::value, "no synthesis result file given");
  if (path.size() > kMaxStem)
    fail(Fault::value, "the synthesis result path is too long (a run takes at most 592 characters): '" + path + "'");
}

// The six log masses of the ECSV table's metadata ("null" for a missing one), exactly.
std::array<float, 6> masses_of(const std::string& ecsv) {
  constexpr std::array<const char*, 6> keys = {"log_mass_total_m3", "log_mass_total_m2", "log_mass_young_m3",
                                               "log_mass_young_m2", "log_mass_old_m3",   "log_mass_old_m2"};
  std::array<float, 6> m{};
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const std::string key = std::string("{") + keys[k] + ": ";
    const std::size_t at = ecsv.find(key);
    if (at == std::string::npos) fail(Fault::internal, std::string("no ") + keys[k] + " in the magnitude table");
    std::string_view v = std::string_view(ecsv).substr(at + key.size());
    if (v.starts_with("null")) {
      m[k] = kSentinel;
      continue;
    }
    v.remove_prefix(std::strlen("{value: "));
    v = v.substr(0, v.find(','));
    if (v == ".nan") m[k] = std::nanf("");
    else if (v == ".inf") m[k] = INFINITY;
    else if (v == "-.inf") m[k] = -INFINITY;
    else if (std::from_chars(v.data(), v.data() + v.size(), m[k]).ec != std::errc())
      fail(Fault::internal, std::string("unreadable ") + keys[k] + " in the magnitude table");
  }
  return m;
}

// The warnings as a run writes them on standard error.
std::string standard_error(const std::vector<std::string>& warnings) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* f = open_memstream(&text, &size);
  if (f == nullptr) fail(Fault::internal, "no memory for the warnings");
  Diagnostics err(f);
  for (const std::string& w : warnings) err.warn(w);
  std::fclose(f);
  std::string s(text, size);
  std::free(text);
  return s;
}

template <class V>
std::vector<float> head(const V& v, int n) {
  return {v.begin(), v.begin() + std::clamp(n, 0, int(v.size()))};
}

}  // namespace

Fit read_fit(const std::string& path, float phyunits) {
  check_result_path(path);
  CapturedReport r;
  auto fit = std::make_unique<FitResult>();
  Read_Out_KW(r.context, path, phyunits > 0.0f ? phyunits : 1.0f, *fit);
  if (r.context.failed())
    throw Error(Fault::input_file, "cannot read the synthesis result '" + path + "'", path, 0, r.console.captured());
  return fit_of(*fit);
}

GridFile read_grid(const std::string& path) {
  std::optional<RecordFile> file = RecordFile::open(path);
  if (!file) throw Error(Fault::input_file, "cannot open the grid file '" + path + "'", path);
  Console console = Console::capture();
  RunParams p;
  try {
    read_parameter_records(console, *file, true, p);
  } catch (const RunStop&) {
    throw Error(Fault::input_file, "grid file '" + path + "': a run parameter record (1-9) is missing or unreadable",
                path, 0, console.captured());
  }
  GridFile g;
  g.path_dir = textio::used_part(p.path_DIR);
  g.base_dir = textio::used_part(p.base_SSP);
  g.filter_dir = textio::used_part(p.fil_dir);
  g.t_cut_gyr = p.t_cutGyr;
  g.phyunits = p.Phyunits;
  g.ext_corr = p.Ext_Corr;
  g.print_fil = p.PrintFil;
  g.verbose = p.Fverbose;
  for (int k = 0; k < p.N_models; ++k) {
    std::string name;
    float distance = 0.0f;
    ListRead r(*file);
    if (r.text(name) != ReadStatus::ok || r.real(distance) != ReadStatus::ok)
      throw Error(Fault::input_file, "grid file '" + path + "': galaxy record " + std::to_string(k + 1) + " of " +
                                         std::to_string(p.N_models) + " is missing or unreadable",
                  path);
    g.names.push_back(name);
    g.distances.push_back(distance);
  }
  return g;
}

struct Cache::Impl {
  InputCache cache{true};
};
Cache::Cache() : impl_(std::make_unique<Impl>()) {}
Cache::~Cache() = default;

Galaxy rebuild(const GalaxyRequest& q, Cache& cache) {
  check_result_path(q.result_file);
  check_directory(q.base_dir, 0, "the base directory");
  check_directory(q.filter_dir, std::strlen(kList), "the filter directory");

  RunParams p;
  p.N_models = 1;
  p.base_SSP = q.base_dir;
  p.fil_dir = q.filter_dir;
  p.t_cutGyr = q.t_cut_gyr;
  p.t_cut = p.t_cutGyr * 1.0E9f;
  p.Phyunits = q.phyunits > 0.0f ? q.phyunits : 1.0f;
  p.Ext_Corr = q.ext_corr;
  p.PrintFil = 2;
  p.Fverbose = 0;
  p.ecsv = true;
  ModelJob job;
  job.name = q.name;
  job.distance = q.distance;
  job.files.arq_synt = q.result_file;

  Galaxy g;
  {
    // As read: the rebuild corrects the observation in place.
    CapturedReport r;
    auto fit = std::make_unique<FitResult>();
    Read_Out_KW(r.context, q.result_file, p.Phyunits, *fit);
    g.fit = fit_of(*fit);
  }

  auto w = std::make_unique<Worker>();
  const ModelOutcome out = process_model(p, job, *w, cache.impl().cache, Carried{});
  if (out.flow == Flow::stop) throw Error(Fault::stop, "the galaxy stops the run", q.result_file, 0, out.console);

  g.ok = out.status.good();
  g.console = out.console;
  g.warnings = standard_error(out.warnings);
  // A good galaxy's log is deleted at its end; a failed one keeps its reports, or gets one.
  if (!g.ok && !out.log.empty()) {
    g.log = out.log.content().text;
  } else if (!g.ok) {
    g.log = end_of_model_report().content().text;  // it failed on the console only
  }
  if (!out.rebuilt)  // the synthesis result could not be read: nothing to rebuild
    throw Error(Fault::input_file, "cannot read the synthesis result '" + q.result_file + "'", q.result_file, 0,
                out.console);

  const ModelSpectra& s = w->spectra;
  g.mag_text = out.mag_text;
  g.spc_text = out.spc_text;
  g.mag_ecsv = out.mag_ecsv;
  g.spc_ecsv = out.spc_ecsv;
  g.wave = head(out.after.base->b_lambda, s.N_lb);
  g.total = head(s.allssp_f, s.N_lb);
  g.young = head(s.youssp_f, s.N_lb);
  g.old = head(s.oldssp_f, s.N_lb);
  g.red = head(s.red_term, s.N_lb);
  g.ext_wave = head(s.onlambda, s.n_ext);
  g.ext_flux = head(s.onfluxes, s.n_ext);
  g.obs_wave = head(w->fit.o_lambda, w->fit.N_obs);
  g.obs_flux = head(w->fit.o_fluxes, w->fit.N_obs);

  const FilterSet& set = *out.after.filters;
  g.filters = std::clamp(set.Nfilters, 0, kMaxFilters);
  for (int c = 0; c < kNumSlots; ++c)
    for (int i = 0; i < g.filters; ++i)
      for (int k = 0; k < kSystems; ++k) g.magnitudes.push_back(w->mags.at(i, k, c));
  const FilterResults& fr = w->filter_results;
  g.covered = head(fr.filt_res_a, g.filters);
  g.positive = head(fr.filt_res_b, g.filters);
  g.zero_point = head(fr.filt_zp_v, g.filters);
  g.lambda_eff = head(set.lamb_eff, g.filters);
  g.log_mass = masses_of(out.mag_ecsv);
  if (out.filters_replaced)
    g.filter_set = std::make_shared<const Filters>(wrap(out.after.filters, Weighting::energy, q.filter_dir, nullptr));
  return g;
}

}  // namespace veltrane::facade
