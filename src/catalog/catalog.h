// The survey catalogue: every galaxy of a run as one row of a FITS binary table. Plain data
// in (strings, floats, spans), FITS out; nothing here knows the driver's tables.
//
// A catalogue file holds, in this order:
//   primary header  provenance: program version, grid file and its SHA-256, number of
//                   galaxies of the grid, the shard, the three directories, the age cut,
//                   Phyunits, Ext_Corr, identities of the filter set and standard spectra
//   GALAXIES        one row per galaxy in grid order (first extension, what TOPCAT, stilts
//                   and astropy open by default)
//   FILTERS         one row per filter: name, effective wavelength, area, seven zero points
//   INPUTS          (merged catalogues) one row per catalogue merged: name, shard, SHA-256
//   WAVELENGTH      (with spectra) one row: the base wavelength grid of the SPECTRA HDU
//   SPECTRA         (with spectra) one row per GALAXIES row: total, young and old model
// docs/catalog.md lists every keyword and column.
//
// Every failure to read or write a catalogue is a Failure value (the file and the reason in
// words); nothing in this layer throws past its public functions.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::catalog {

// Why a catalogue (or a file taken for one) cannot be read or written: the file as named by
// the caller and the reason in words (the operating system's, strerror, for I/O), said as
// "FILE: REASON" (as the problems of the layers below say theirs, which this layer, standing
// alone, does not use). `kind` lets a caller choose its answer (an exit status, say).
struct Failure {
  enum class Kind {
    none,
    io,             // the system refused a read or write: `reason` is its strerror
    not_fits,       // not a FITS file (empty, or no SIMPLE card)
    cut_short,      // FITS, but the file ends before its last HDU does
    damaged,        // a checksum that does not verify, or tables that disagree
    not_catalogue,  // FITS, but not a Veltrane catalogue (or of a layout this one cannot read)
    misuse,         // the caller's rows do not fit the catalogue (grid order, array sizes)
  };
  Kind kind = Kind::none;
  std::string file;
  std::string reason;
  explicit operator bool() const { return kind != Kind::none; }
  std::string where_and_why() const { return file + ": " + reason; }
};

// Layout version of the file, in the primary header (VTFORMAT). Layout 2 gave the log masses
// the unit log(solMass) and NaN without a distance, the spectra their flux unit, GALAXIES the
// filter of each array element and the provenance, merged catalogues INPUTS and the missing
// rows. The reader takes layouts kOldestFormat to kFormat; the writer writes kFormat.
inline constexpr int kFormat = 2;
inline constexpr int kOldestFormat = 1;

inline constexpr int kSystems = 7;  // photometric systems, in the magnitude table's order
inline constexpr int kSlots = 4;    // spectra measured: observed, total, young, old
inline constexpr int kMasses = 6;   // log stellar masses, in the .MAG.out order

// Column-name parts of the systems and slots (MAG_<SLOT>_<SYSTEM>), and the systems' own
// names as the magnitude routine prints them.
inline constexpr std::array<std::string_view, kSystems> kSystemKeys = {"VEGA",  "VEGABG04", "AB",     "TG",
                                                                       "WFPC2", "FOCA",     "NOCALIB"};
inline constexpr std::array<std::string_view, kSystems> kSystemNames = {"VEGA_std", "VEGABG04", "ABsystem", "TGsystem",
                                                                        "WFPC2sys", "FOCA_sys", "NO_calib"};
inline constexpr std::array<std::string_view, kSlots> kSlotKeys = {"OBS", "TOT", "YOUNG", "OLD"};

// STATUS bits of a GALAXIES row. A row without kProcessed is a placeholder: the run met the
// galaxy but computed nothing for it (its values are NaN); a merge prefers any processed row
// of the same galaxy to it.
enum Status : std::uint32_t {
  kProcessed = 1u << 0,        // went through the run: its values, NaN where it computed none
  kFailed = 1u << 1,           // ended failed: its .LOG holds why; treat its values as unusable
  kSkippedExisting = 1u << 2,  // skipped because its tables exist (--skip-existing)
  kNameTooLong = 1u << 3,      // skipped: directory + name too long for its file names
  kNoDistance = 1u << 4,       // no distance (≤ 0 or NaN): masses NaN (the tables' lack the 4πd² term)
  kResultUnread = 1u << 5,     // its synthesis result was missing or unreadable: no values
  kRunStopped = 1u << 6,       // the run stopped at this galaxy (exit status 1): no values
  kTextCut = 1u << 7,          // set by the writer: NAME, RESULT or EXT_LAW cut to the column
  kOtherFilters = 1u << 8,     // set by the writer: measured through another filter set than
                               // FILTERS (its files changed during the run): magnitudes NaN
  kOtherGrid = 1u << 9,        // set by the writer: spectra on another grid than WAVELENGTH: NaN
};

// A catalogue joined into a merged one, as its INPUTS row records it.
struct InputRecord {
  std::string file;           // as named on the command line
  int shard = 0, shards = 0;  // its SHARDK, SHARDN
  int first_row = 0, last_row = 0;
  long long rows = 0;  // its GALAXIES rows
  std::string date;    // its DATE
  std::string sha256;  // of the whole file, as sha256sum prints it
};

// Where the catalogue comes from; the merge refuses shards whose provenance differs (all but
// the shard, the rows and the grid file's path).
struct Provenance {
  std::string version;                         // of the program, "1.1.0"
  std::string grid_file;                       // as given on the command line; empty: standard input or arguments
  std::string grid_identity;                   // sha256_file of the grid file; empty without one
  int galaxies = 0;                            // galaxy records of the grid (N_models)
  int shard = 1, shards = 1;                   // this run's block K of N; 0 of 0 in a merged catalogue
  int first_row = 1, last_row = 0;             // the block's grid rows, 1-based, inclusive
  std::string path_dir, base_dir, filter_dir;  // used parts, as joined to file names
  float t_cut_gyr = 0.0f;                      // age cut, Gyr
  float phyunits = 1.0f;                       // as used (1.0 where the grid's was not positive)
  int ext_corr = 0;                            // 1: observation de-reddened; other: models reddened
  // A merged catalogue's: the grid rows no input held with values (count, and as ranges
  // "101-200, 350") and the catalogues it joined. Empty in a shard's.
  long long missing = 0;
  std::string missing_rows;
  std::vector<InputRecord> inputs;
};

// One filter of the set: its full name in the list, its calibration in Å, and the zero
// points Z_k of the seven systems (-999.0 where undefined; written as NaN).
struct FilterEntry {
  std::string name;
  float lambda_eff = 0.0f;  // Å
  float area = 0.0f;        // ∫T dλ, Å
  std::array<float, kSystems> zero_point{};
};

// A filter set as calibrated, with the identities of its files (sha256_listing of the list
// and the filter files, sha256_file of VegaLR.dat, Sun_LR.dat, BD+17d4708.dat; empty when
// unknown). Two sets are the same when every field is equal, floats bit for bit.
struct FilterSetInfo {
  std::string identity;
  std::array<std::string, 3> standards;
  std::vector<FilterEntry> filters;
  bool operator==(const FilterSetInfo& other) const;
};

// One galaxy, as handed to the writer: views that need to live only during the call.
// Magnitudes and masses equal to -999.0 (a missing value in the tables) are written as NaN,
// and so are the masses of a galaxy without a distance (kNoDistance: without the 4πd² term
// they are no masses); every other value is written as given.
struct GalaxyRow {
  int grid_row = 0;                       // 1-based place among the grid's galaxy records
  std::string_view name;                  // used part of the galaxy's name
  std::string_view result;                // its synthesis result file (path_DIR + name)
  float distance = 0.0f;                  // Mpc, as read
  std::uint32_t status = 0;               // Status bits
  float av = 0.0f;                        // fitted A_V, mag (NaN: not read)
  std::string_view law;                   // extinction-law code of the fit
  std::array<float, kMasses> log_mass{};  // log10 M/M_sun: total m3, total m2, young m3, young
                                          // m2, old m3, old m2
  // The filter set the galaxy was measured with; null: none (no magnitudes). The first row
  // that has one makes it the catalogue's.
  const FilterSetInfo* filters = nullptr;
  // kSlots × kSystems × nF values, magnitudes[(slot × kSystems + system) × nF + filter];
  // empty: none measured (NaN).
  std::span<const float> magnitudes;
  std::span<const float> coverage;           // nF: filter area covered by the old model
  std::span<const float> coverage_positive;  // nF: the same, points of positive flux
  // Model spectra on the base grid `lambda` (all four the same length; empty: none). The
  // first row that has a grid makes it the catalogue's.
  std::span<const float> lambda, total, young, old;
};

// Text columns are fixed-width: a name, path or code longer than its column is cut (kTextCut).
struct Layout {
  int name_width = 1;    // NAME, bytes
  int result_width = 1;  // RESULT, bytes
  bool spectra = false;  // write the WAVELENGTH and SPECTRA HDUs
};
inline constexpr int kLawWidth = 8;  // EXT_LAW

// Text as stored in FITS, which allows printable ASCII only: every byte outside 0x20–0x7E,
// and "%" itself, becomes "%XX" (upper-case hex). fits_text_length is its length;
// from_fits_text undoes it.
std::string to_fits_text(std::string_view raw);
std::size_t fits_text_length(std::string_view raw);
std::string from_fits_text(std::string_view stored);

}  // namespace veltrane::catalog
