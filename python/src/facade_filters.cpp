// A filter set loaded and calibrated as a run does it, with energy or photon weighting, and
// the photometry of spectra through it: the fast path on a prepared grid and the command
// line's literal routines beside it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "facade_internal.h"
#include "photometry/filter_flux.h"
#include "photometry/magnitudes.h"
#include "support/limits.h"
#include "support/names.h"
#include "support/report.h"
#include "textio/list_input.h"

namespace veltrane::facade {

using namespace detail;

namespace {

using textio::RecordFile;

// The facade's systems are the kernels' own.
static_assert(kSystems == kNumSystems);

template <class Table, class Field>
std::vector<std::string> names_of(const Table& table, Field field) {
  std::vector<std::string> out;
  for (const auto& row : table) out.emplace_back(row.*field);
  return out;
}

constexpr Rule kTrapezoids = Rule::T;  // the integration rule of every run

// A filter file rewritten with every transmission multiplied by its wavelength, in single
// precision; each number written as the shortest text that reads back to the same float.
std::string photon_curve_text(std::span<const float> l, std::span<const float> t) {
  std::string text;
  for (int r = 0; r < kFilterHeaderRecords; ++r) text += "#\n";
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

std::vector<std::string> system_keys() { return names_of(kSystemNames, &SystemName::key); }
std::vector<std::string> system_labels() { return names_of(kSystemNames, &SystemName::label); }
std::vector<std::string> slot_words() { return names_of(kSlotNames, &SlotName::word); }
std::vector<std::string> mass_keys() { return names_of(kMassNames, &MassName::key); }

Filters detail::filters_of(std::shared_ptr<const FilterSet> set, Weighting w, std::string dir,
                           const FilterSet* energy) {
  auto impl = std::make_shared<Filters::Impl>();
  const int n = std::clamp(set->Nfilters, 0, kMaxFilters);
  impl->weighting = w;
  impl->directory = std::move(dir);
  for (int i = 0; i < n; ++i) {
    impl->names.push_back(set->name_fil[std::size_t(i)]);
    impl->zero.push_back(zero_points(*set, std::size_t(i)));
    const FilterSet& e = energy ? *energy : *set;
    impl->lambda.emplace_back(e.lambda(i).begin(), e.lambda(i).end());
    impl->transmission.emplace_back(e.transmission(i).begin(), e.transmission(i).end());
  }
  impl->set = std::move(set);
  return Filters(impl);
}

namespace {

// ReadFilters on `dir` as a run calls it; `open` serves the files. A set that stops the run
// or fails a galaxy is refused, naming the file and record at fault.
std::shared_ptr<const FilterSet> read_filters(const std::string& dir, const FileOpener& open) {
  CapturedReport r;
  const FilterLoad load = ReadFilters(r.context, dir, kTrapezoids, open);
  const Problem* problem = load.flow == Flow::stop ? &load.stop : load.calibration_problem();
  if (problem != nullptr)
    throw Error(Fault::filter_file, "cannot load the filter set: " + problem->where_and_why(), problem->file,
                int(problem->record), r.console.captured(), problem->reason);
  return load.set;
}

}  // namespace

Filters Filters::load(const std::string& directory, Weighting weighting) {
  check_filter_directory(directory);
  const auto plain = [](const std::string& p) { return RecordFile::open(p); };
  std::shared_ptr<const FilterSet> energy = read_filters(directory, plain);
  if (weighting == Weighting::energy) return filters_of(energy, weighting, directory, nullptr);

  // The same files with every curve as T·λ: the calibration runs unchanged on them. The
  // first four files opened are the standard spectra and the list, then the curves in order.
  int opened = 0;
  const auto photon = [&](const std::string& p) -> std::optional<RecordFile> {
    const int i = opened++ - 4;
    if (i < 0 || i >= energy->Nfilters) return RecordFile::open(p);
    return RecordFile::from_string(photon_curve_text(energy->lambda(i), energy->transmission(i)));
  };
  std::shared_ptr<const FilterSet> set = read_filters(directory, photon);
  for (int i = 0; i < std::clamp(energy->Nfilters, 0, kMaxFilters); ++i) {
    const auto l0 = energy->lambda(i), t0 = energy->transmission(i);
    const auto l1 = set->lambda(i), t1 = set->transmission(i);
    bool same = l0.size() == l1.size();
    for (std::size_t k = 0; same && k < l0.size(); ++k)
      same = same_bits(l0[k], l1[k]) && same_bits(l0[k] * t0[k], t1[k]);
    if (!same)
      fail(Fault::internal, "photon-weighted curve of " + energy->name_fil[std::size_t(i)] + " not read back exactly");
  }
  return filters_of(set, weighting, directory, energy.get());
}

int Filters::size() const { return impl_->count(); }
Weighting Filters::weighting() const { return impl_->weighting; }
const std::string& Filters::directory() const { return impl_->directory; }
const std::vector<std::string>& Filters::names() const { return impl_->names; }

std::vector<int> Filters::samples() const { return head(impl_->set->Npt_fil, size()); }

std::vector<float> Filters::lambda_eff() const { return head(impl_->set->lamb_eff, size()); }
std::vector<float> Filters::area() const { return head(impl_->set->T_l_Area, size()); }
std::vector<float> Filters::nu_area() const { return head(impl_->set->T_n_Area, size()); }
std::vector<float> Filters::vega_flux() const { return head(impl_->set->F_l_Vega, size()); }
std::vector<float> Filters::ab_vega() const { return head(impl_->set->M_ABVega, size()); }
std::vector<float> Filters::tg_vega() const { return head(impl_->set->T_G_Vega, size()); }

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
  std::vector<Band> bands;    // per filter (empty for a filter without samples)
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
      fail(Fault::value, "wavelengths must increase strictly: wavelength " + std::to_string(k) + " (" + show(wave[k]) +
                             " Å) is not above the one before (" + show(wave[k - 1]) + " Å)");
  }
}

void check_length(std::span<const float> flux, std::size_t grid) {
  if (flux.size() != grid) fail(Fault::value, "the spectrum and the wavelength grid differ in length");
}

// A value the tables write as -999.0, as the caller shows it.
float shown(const Outputs& out, float v) { return v == kSentinel ? out.missing : v; }

// One filter's results into `out` at filter i, the magnitudes as EvalFilters makes them.
void store(const Outputs& out, std::size_t i, const FilterFlux& r, const std::array<float, kSystems>& z) {
  const float F = r.flux;
  if (!out.flux.empty()) out.flux[i] = shown(out, F);
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
  check_length(flux, g.wave.size());
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
  check_length(flux, wave.size());
  const FilterSet& set = *impl_->set;
  CapturedReport report;
  FilterResults results;
  std::vector<float> plane(std::size_t(kNumSystems) * kMaxFilters, kSentinel);
  EvalFilters(report.context, wave, flux, set, results, plane, kTrapezoids);
  for (int f = 0; f < size(); ++f) {
    const std::size_t i = std::size_t(f);
    const FilterFlux r = EvalTFluxesLiteral(report.context, wave, flux, set.lambda(f), set.transmission(f),
                                            set.T_l_Area[i], kTrapezoids);
    if (!out.flux.empty()) out.flux[i] = shown(out, r.flux);
    if (!out.covered.empty()) out.covered[i] = results.filt_res_a[i];
    if (!out.positive.empty()) out.positive[i] = results.filt_res_b[i];
    for (std::size_t k = 0; k < std::size_t(kSystems) && !out.magnitudes.empty(); ++k)
      out.magnitudes[i * kSystems + k] = shown(out, plane[k * kMaxFilters + i]);
  }
  if (report.context.failed()) throw Error(Fault::internal, "an integration failed", "", 0, report.console.captured());
}

}  // namespace veltrane::facade
