// The SSP base: the base file, the SSP spectrum files, and the tables they leave for the
// rebuild (the shared wavelength grid and one flux column per SSP). Files are parsed once
// into SspFile / BaseFile values; Read_BASpec then does, for one model, everything the base
// reader does with them (checks against the fit's range, reports, listing, the tables).
// Indices are 0-based here (SSP k of the base file is k - 1).
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"
#include "numerics/problem_log.h"

namespace veltrane {

// The grid b_lambda (kMaxPoints values in Å) and the columns of b_fluxes (kMaxPoints values
// each) as the base reader leaves them. Immutable once built; shared between models.
struct BaseTables {
  std::vector<float> b_lambda = std::vector<float>(kMaxPoints, 0.0f);
  std::array<const float*, kMaxSsp> columns{};
  std::array<bool, kMaxSsp> finite{};                // column k holds no NaN or infinity
  std::vector<std::shared_ptr<const void>> owners;  // what the columns point into

  std::span<const float> flux(int k) const { return {columns[std::size_t(k)], std::size_t(kMaxPoints)}; }
  // The tables at the start of a run: zeros everywhere.
  static std::shared_ptr<const BaseTables> initial();
};

// One SSP spectrum file as the reader takes it: a header of records starting with "#", then
// one point (λ in Å, flux) per record, at most kMaxPoints. A point record that cannot be
// read as two numbers, or leaves one of them unread (a slash, a null value), ends the file
// with a read error; an end of the file inside a record ends it as the end of the file.
struct SspFile {
  enum class End { end_of_file, read_error, limit };
  int header = 0;
  std::vector<float> lambda;  // the points read in full
  std::vector<float> column;  // their fluxes, then -999.0 up to kMaxPoints (or the flux a
                              // read error stored just past them)
  End end = End::end_of_file;
  bool partial = false;       // a read error came after the wavelength of a point, which
  float partial_lambda = 0;   // then stays in the grid
  bool sorted = false;        // no NaN and λ(i) <= λ(i+1): brackets by binary search
  bool decreases = false;     // some λ(i) > λ(i+1)
  bool finite = true;         // no NaN or infinity in the column
};
SspFile parse_ssp_file(const std::string& text);

// The base file: record 1 (the SSP count) and the statements that read the SSP records
// (filebase, age, metallicity, code, M*, ind_exAV, alphbase), at most kMaxSsp of them.
// A field a statement did not reach holds the table's reset value.
struct BaseFile {
  enum class Status { ok, end_of_file, error };
  struct Record {
    std::string filebase = "NONE", cod_base = "NONE";
    float age = kSentinel, met = 0.0f, mst = 0.0f, ind = 0.0f, alph = 0.0f;
    Status status = Status::ok;
  };
  Status count_status = Status::ok;
  bool count_stored = false;  // false: the count keeps the synthesis result's
  int count = 0;
  std::vector<Record> records;
};
BaseFile parse_base_file(const std::string& text);

// Where Read_BASpec gets its files: parsed once and kept by the driver's input cache.
class BaseSource {
 public:
  virtual ~BaseSource() = default;
  // nullptr when the file cannot be opened (missing, a directory, unreadable).
  virtual std::shared_ptr<const BaseFile> base_file(const std::string& path) = 0;
  virtual std::shared_ptr<const SspFile> ssp_file(const std::string& path) = 0;
  // The tables after the reset and the reading of `ssps` in order (the last possibly cut).
  virtual std::shared_ptr<const BaseTables> tables(std::span<const std::shared_ptr<const SspFile>> ssps) = 0;
  // An SSP file whose reading stopped at kMaxPoints points.
  virtual void cut_at_limit(const std::string& /*path*/) {}
};

// The tables left by reading `ssps` in order after the reset: each grid written over the
// one before (a longer earlier grid shows beyond a shorter one), -999.0 beyond them all.
std::shared_ptr<const BaseTables> assemble_base(std::span<const std::shared_ptr<const SspFile>> ssps);

// Read_BASpec and its ReadTextBAS for one model: reads the base file `arq_base` and every
// SSP spectrum (`base_dir` up to its first blank, then the SSP's file name), checks each
// spectrum against the fit range [Olsynini, Olsynfin], refills the population columns
// age_base, met_base and alphbase (kMaxSsp entries each) and replaces `tables` when the
// reading got past the reset. `Num_base` is the synthesis result's count on entry and the
// base file's on return. On failure: the report (console, and rewriting the log),
// IsKeepOn = 0, arq_base = "NONE". A missing base file or an SSP file that cannot be opened
// ends the run: the report, then RunStop(1). Fverbose 1 prints the listing, 5 every point.
// Returns true when `tables` was replaced (the reading went past the reset of the tables).
bool Read_BASpec(Console& console, ProblemLog& log, BaseSource& source,
                 std::shared_ptr<const BaseTables>& tables, std::span<float> age_base,
                 std::span<float> met_base, std::span<float> alphbase, float Olsynini,
                 float Olsynfin, std::string& arq_base, std::string_view base_dir, int& Num_base,
                 int& IsKeepOn, int Fverbose);

// The grid b_lambda(1..N) checked once for a model: N, and whether it increases strictly.
struct BaseGrid {
  std::span<const float> lambda;
  bool increasing = false;
  explicit BaseGrid(std::span<const float> grid);
};

// The value at x of a curve F sampled on the grid b_lambda (both of N = b_lambda.size()
// points), by linear interpolation with a fresh search, after checking that the grid
// increases strictly and that x lies on it (ends included). On failure: two lines on the
// console, IsKeepOn = 0, -999.0. A NaN among the grid points counts as a break of the order
// and a NaN x as out of range. F must hold at least N values. Resets the interpolation's
// saved bracket.
float StatsReNorm(Console& console, float x, std::span<const float> b_lambda,
                  std::span<const float> F, int& IsKeepOn);
// The same on a grid checked once (BaseGrid): identical results, reports and saved bracket.
float StatsReNorm(Console& console, float x, const BaseGrid& grid, std::span<const float> F,
                  int& IsKeepOn);

}  // namespace veltrane
