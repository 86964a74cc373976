// The one door between the Python module and Veltrane's C++: every call into the kernels, the
// readers and the galaxy layer is made in the facade's sources, one per subject
// (facade_filters.cpp, facade_extinction.cpp, facade_galaxy.cpp, sharing facade_internal.h),
// in terms of the plain types below. The rest of the binding (numpy
// arrays, threads, batches, Python exceptions, docstrings) sees only this header.
//
// Units: wavelengths in Å, fluxes per unit wavelength (per Å), magnitudes in mag. Arrays are
// single precision, as in the command line; a value the command line writes as -999.0 is
// written as the caller's `missing` value here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::facade {

inline constexpr int kSystems = 7;           // photometric systems, in the order of system_keys()
inline constexpr float kSentinel = -999.0f;  // the tables' missing value

// The names the command line's products use, from its own tables: the photometric systems
// (as SYSTEMS), their names in the magnitude routine, the spectrum slots, the stellar masses,
// the extinction-law codes.
std::vector<std::string> system_keys();
std::vector<std::string> system_labels();
std::vector<std::string> slot_words();
std::vector<std::string> mass_keys();
std::vector<std::string> law_codes();

// How a failure leaves the facade: one exception type; `kind` says which Python exception
// it becomes.
enum class Fault {
  value,        // an argument the kernels cannot take (shape, order, range): ValueError
  filter_file,  // a filter set that cannot be read or calibrated: which file, which record
  input_file,   // a synthesis result or a grid file that cannot be read
  stop,         // a rebuild that ended the way a run stops (a missing SSP base file, ...)
  internal,     // a broken promise of the kernels (never expected)
};
class Error : public std::runtime_error {
 public:
  Error(Fault fault, const std::string& what, std::string file = {}, int line = 0, std::string printed = {},
        std::string why = {})
      : std::runtime_error(what),
        kind(fault),
        path(std::move(file)),
        record(line),
        console(std::move(printed)),
        reason(std::move(why)) {}
  Fault kind;
  std::string path;     // the file concerned, if any
  int record = 0;       // its 1-based record (line), 0 when none applies
  std::string console;  // what a run would have printed, if anything
  std::string reason;   // what is wrong there, in words (the message without the place)
};

// Energy weighting: the command line's mean ∫F T dλ / ∫T dλ. Photon weighting: every curve
// taken as T·λ (products in single precision at the curve's samples), then calibrated
// exactly the same way, which makes every mean the photon-counting mean over T.
enum class Weighting { energy, photon };

// Per-thread work space of a measurement (work arrays sized for the longest spectrum seen).
class Work {
 public:
  Work();
  ~Work();
  Work(Work&&) noexcept;
  Work& operator=(Work&&) noexcept;
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Where one spectrum's results go; an empty span is not computed. flux, covered, positive:
// one value per filter; magnitudes: filters × kSystems, the system fastest.
struct Outputs {
  std::span<float> flux;        // ∫F·T dλ over the samples of positive flux, not divided by the area
  std::span<float> covered;     // part of the filter's area covered by the spectrum
  std::span<float> positive;    // the same, where the flux is positive
  std::span<float> magnitudes;  // Z_k − 2.5 log10(flux)
  float missing = kSentinel;    // written where the command line writes -999.0
};

// A loaded and calibrated filter set (immutable; shared freely between threads).
class Filters {
 public:
  // Reads and calibrates the filter directory as a run does (directory: a path ending in
  // '/', no blank). Throws Error(filter_file) naming the file and record at fault for a
  // missing or unreadable file, and for a set whose calibration fails (a curve whose
  // wavelengths do not increase strictly, a standard spectrum out of order).
  static Filters load(const std::string& directory, Weighting weighting);

  int size() const;
  Weighting weighting() const;
  const std::string& directory() const;
  const std::vector<std::string>& names() const;  // list order
  std::vector<int> samples() const;               // samples per curve (0: no sample read)
  // Per filter; the command line's -999.0 left as it is (the binding decides what to show).
  std::vector<float> lambda_eff() const;  // ∫λT dλ / ∫T dλ, Å (photon: ∫λ²T dλ / ∫λT dλ)
  std::vector<float> area() const;        // ∫T dλ, Å (photon: ∫Tλ dλ, Å²)
  std::vector<float> nu_area() const;     // ∫T c/λ² dλ, Hz (photon: c ∫T/λ dλ)
  std::vector<float> vega_flux() const;   // ∫F_Vega T dλ
  std::vector<float> ab_vega() const;     // AB magnitude of Vega
  std::vector<float> tg_vega() const;     // Vega's magnitude when BD+17d4708 has 9.5
  // Zero points Z_k of every filter (filters × kSystems, the system fastest); -999.0 where a
  // system has none, and NaN where the logarithm of a non-positive Vega flux made one.
  std::vector<float> zero_points() const;
  // The curve of filter i as read from its file (energy units, whatever the weighting).
  std::vector<float> curve_lambda(int i) const;
  std::vector<float> curve_transmission(int i) const;

  // A wavelength grid checked once and prepared for every filter (the transmission on the
  // grid and its integral). Throws Error(value) for an empty grid, a non-finite wavelength
  // or one not above the one before (saying where).
  class Grid {
   public:
    struct Impl;
    explicit Grid(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
    std::size_t size() const;
    const Impl& impl() const { return *impl_; }

   private:
    std::shared_ptr<const Impl> impl_;
  };
  Grid prepare(std::span<const float> wave) const;

  // The photometry of one spectrum (flux.size() == grid.size(), per Å) on a prepared grid:
  // the command line's numbers bit for bit. Thread-safe with one Work per thread.
  void measure(const Grid& grid, std::span<const float> flux, Work& work, const Outputs& out) const;
  // The same through the command line's unoptimised routines, one spectrum at a time (the
  // reference the fast path is tested against). Throws Error(value) like prepare().
  void measure_literal(std::span<const float> wave, std::span<const float> flux, const Outputs& out) const;

  struct Impl;
  explicit Filters(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
  const Impl& impl() const { return *impl_; }

 private:
  std::shared_ptr<const Impl> impl_;
};

// ---- Extinction -------------------------------------------------------------------------

// A law code: one of kLawCodes (exact, upper case). Throws Error(value) for another.
void check_law(const std::string& code);

// q(λ) = A(λ)/A_V of a law at every wavelength (R_V only for "CCM"; the command line uses
// 3.1). Outside the law's range q is 0.0, as a run takes it, and in_range is 0 there.
void law_values(const std::string& code, float r_v, std::span<const float> wave, std::span<float> q,
                std::span<std::uint8_t> in_range);

// The reddening term r(λ) = −0.4 (q(λ) − q(λ_norm)) at every wavelength, as a run computes it
// over its base grid (0.0 outside the law's range and exactly 0.0 at λ = λ_norm); in_range
// as above. Returns q(λ_norm). Throws Error(value) when λ_norm is outside the law's range
// or a wavelength is not a positive finite number.
float red_term(const std::string& code, float lambda_norm, std::span<const float> wave, std::span<float> red,
               std::span<std::uint8_t> in_range);

// The models of a run without extinction correction: flux × 10^(A_V · r(λ)) (relative to
// λ_norm). red: the reddening term at the same wavelengths.
void redden(float a_v, std::span<const float> red, std::span<const float> flux, std::span<float> out);
// The observation of a run with extinction correction: flux × 10^((0.4 q(λ_norm) − r(λ)) A_V),
// that is flux × 10^(0.4 A_V q(λ)).
void deredden(float a_v, float q_norm, std::span<const float> red, std::span<const float> flux, std::span<float> out);
// The reddening term at `wave` the way a run reads it off its base grid: r computed on
// `grid` (strictly increasing, positive), then interpolated at each wavelength. Throws
// Error(value) for a grid out of order or a wavelength outside it. Returns q(λ_norm).
float red_term_on_grid(const std::string& code, float lambda_norm, std::span<const float> grid,
                       std::span<const float> wave, std::span<float> red);

// ---- One galaxy --------------------------------------------------------------------------

// A synthesis result as read (observed fluxes already × flx_norm × Phyunits).
struct Fit {
  std::string base_file;  // the SSP base file named by the fit
  std::string law;        // extinction-law code
  float a_v = 0, lambda_norm = 0, flux_norm = 0, q_norm = 0, fit_from = 0, fit_to = 0;
  float mass_tot_2 = 0, mass_tot_3 = 0, m3_sum = 0;
  int rows = 0;  // population table
  std::vector<float> x, m2, m3, age, met, alpha;
  std::vector<std::string> ssp;
  std::vector<float> wave, flux, flux_s, flux_w;  // observed spectrum, N_obs points
};
// Reads a synthesis result (path at most 592 characters); physical units `phyunits` (a
// non-positive one counts as 1.0, as in a run). Throws Error(input_file) with the reader's report.
Fit read_fit(const std::string& path, float phyunits);

// A grid file as a run reads it: the nine run parameters (directories as used: up to the
// first blank) and the galaxy records. Throws Error(input_file) with the run's message.
struct GridFile {
  std::string path_dir, base_dir, filter_dir;
  float t_cut_gyr = 0, phyunits = 0;  // Phyunits as read (a run takes a non-positive one as 1.0)
  int ext_corr = 0, print_fil = 0, verbose = 0;
  std::vector<std::string> names;  // as read (a run uses each up to its first blank)
  std::vector<float> distances;    // Mpc
};
GridFile read_grid(const std::string& path);

// The inputs kept between rebuilds (parsed SSP files, calibrated filter sets), read again
// when a file changes. Thread-safe.
class Cache {
 public:
  Cache();
  ~Cache();
  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

struct GalaxyRequest {
  std::string result_file;  // the synthesis result (a run's path_DIR + name)
  std::string name;         // the galaxy's name (the tables' metadata)
  std::string base_dir;     // ending in '/', no blank
  std::string filter_dir;   // ending in '/', no blank
  float t_cut_gyr = 0.0f;   // SSPs at least this old (Gyr) are old
  float phyunits = 1.0f;    // non-positive: 1.0, as in a run
  int ext_corr = 0;         // 1: de-redden the observation, else redden the models
  float distance = 0.0f;    // Mpc; not positive: masses without the distance term
};

// Where and why a galaxy failed, as the command line's standard error says it.
struct Failure {
  std::string path;  // the file at fault
  int record = 0;    // its 1-based record, 0 when none applies
  std::string reason;
};

struct Galaxy {
  bool ok = true;                                      // false where a run leaves a ".LOG"
  Failure failure;                                     // !ok: the problem that failed it
  std::string console;                                 // what a run prints for the galaxy
  std::string log;                                     // the ".LOG" a run would leave (empty for a good galaxy)
  std::string warnings;                                // what a run says on standard error
  std::string mag_text, spc_text, mag_ecsv, spc_ecsv;  // the tables a run writes
  Fit fit;                                             // as read, before any correction
  std::vector<float> wave, total, young, old, red;     // the base grid and the models
  std::vector<float> ext_wave, ext_flux;               // cleaned and extended observation
  std::vector<float> obs_wave, obs_flux;               // observation (de-reddened when asked)
  int filters = 0;
  std::vector<float> magnitudes;  // 4 slots × filters × kSystems (obs, total, young, old)
  std::vector<float> covered, positive, zero_point, lambda_eff;  // per filter (".MAG.out")
  std::array<float, 6> log_mass{};                               // total m3, m2; young m3, m2; old m3, m2 (log10 M_sun)
  std::shared_ptr<const Filters> filter_set;                     // the set the galaxy was measured with
};
// Rebuilds one galaxy exactly as a run does (nothing is written). Throws Error(stop) with the
// run's console lines where a run would stop, Error(input_file) when the synthesis result
// cannot be read (a run then leaves only the .LOG), Error(value) for a path a run cannot take.
Galaxy rebuild(const GalaxyRequest& request, Cache& cache);

}  // namespace veltrane::facade
