// The files of an SSP base, parsed once: the base file (the SSP list) and the SSP spectrum
// files, and the tables that reading them leaves for the rebuild (the shared wavelength grid
// and one flux column per SSP). Indices are 0-based here (SSP k of the base file is k - 1).
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "support/limits.h"

namespace veltrane {

// The grid b_lambda (kMaxPoints values in Å) and the columns of b_fluxes (kMaxPoints values
// each) as the base reader leaves them. Immutable once built; shared between models.
struct BaseTables {
  std::vector<float> b_lambda = std::vector<float>(kMaxPoints, 0.0f);
  std::array<const float*, kMaxSsp> columns{};
  std::array<bool, kMaxSsp> finite{};               // column k holds no NaN or infinity
  std::vector<std::shared_ptr<const void>> owners;  // what the columns point into

  std::span<const float> flux(int k) const { return {columns[std::size_t(k)], std::size_t(kMaxPoints)}; }
  // The tables at the start of a run: zeros everywhere.
  static std::shared_ptr<const BaseTables> initial();
};

// One SSP spectrum file as the reader takes it: a header of records starting with "#", then
// one point (λ in Å, flux) per record, at most kMaxPoints. A point record that cannot be
// read as two numbers, or leaves one of them unread (a slash, a null value), ends the file
// with a read error; an end of the file inside a record ends it as the end of the file.
// Where a read of a file stopped on a record it could not take: the record's number, the
// item of its statement and its text.
struct ReadStop {
  long record = 0;
  int item = 0;
  std::string found;
};

struct SspFile {
  enum class End { end_of_file, read_error, limit };
  int header = 0;
  std::vector<float> lambda;  // the points read in full
  std::vector<float> column;  // their fluxes, then -999.0 up to kMaxPoints (or the flux a
                              // read error stored just past them)
  End end = End::end_of_file;
  bool partial = false;      // a read error came after the wavelength of a point, which
  float partial_lambda = 0;  // then stays in the grid
  bool sorted = false;       // no NaN and λ(i) <= λ(i+1): brackets by binary search
  bool decreases = false;    // some λ(i) > λ(i+1)
  bool finite = true;        // no NaN or infinity in the column
  ReadStop error;            // read_error: the record that stopped the reading
  int first_decrease = 0;    // decreases: the 1-based point whose λ is below the one before
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
    ReadStop stop;  // status error: where
  };
  Status count_status = Status::ok;
  ReadStop count_stop;        // count_status error: where
  bool count_stored = false;  // false: the count keeps the synthesis result's
  int count = 0;
  std::vector<Record> records;
};
BaseFile parse_base_file(const std::string& text);

// Where the base reader gets its files: parsed once and kept by the driver's input cache.
class BaseSource {
 public:
  virtual ~BaseSource() = default;
  // nullptr when the file cannot be opened (missing, a directory, unreadable).
  virtual std::shared_ptr<const BaseFile> base_file(const std::string& path) = 0;
  virtual std::shared_ptr<const SspFile> ssp_file(const std::string& path) = 0;
  // The tables after the reset and the reading of `ssps` in order (the last possibly cut).
  virtual std::shared_ptr<const BaseTables> tables(std::span<const std::shared_ptr<const SspFile>> ssps) = 0;
  // Whether a file of that name (trailing blanks ignored) exists: the base file's existence test.
  virtual bool exists(const std::string& path);
};

// The tables left by reading `ssps` in order after the reset: each grid written over the
// one before (a longer earlier grid shows beyond a shorter one), -999.0 beyond them all.
std::shared_ptr<const BaseTables> assemble_base(std::span<const std::shared_ptr<const SspFile>> ssps);

}  // namespace veltrane
