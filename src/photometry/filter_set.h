// The filter set: filter curves in list order with their calibration on Vega, the Sun and
// BD+17d4708. Indices are 0-based here (filter i of the list is i - 1).
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/integration.h"
#include "support/limits.h"
#include "support/problem.h"
#include "support/report.h"
#include "support/run_stop.h"
#include "textio/list_input.h"

namespace veltrane {

// Records at the top of a filter file that are not samples.
inline constexpr int kFilterHeaderRecords = 15;

struct FilterSet {
  int Nfilters = 0;
  std::vector<std::string> name_fil = std::vector<std::string>(kMaxFilters);  // without trailing blanks
  std::vector<int> Npt_fil = std::vector<int>(kMaxFilters, 0);
  std::vector<std::vector<float>> t_lambda = std::vector<std::vector<float>>(kMaxFilters);  // filter i, Å
  std::vector<std::vector<float>> t_fluxes = std::vector<std::vector<float>>(kMaxFilters);
  std::vector<float> T_l_Area = std::vector<float>(kMaxFilters, 0.0f);  // ∫T dλ
  std::vector<float> T_n_Area = std::vector<float>(kMaxFilters, 0.0f);  // ∫T c/λ² dλ
  std::vector<float> M_ABVega = std::vector<float>(kMaxFilters, 0.0f);  // AB magnitude of Vega
  std::vector<float> T_G_Vega = std::vector<float>(kMaxFilters, 0.0f);  // Vega when BD+17d4708 is 9.5
  std::vector<float> F_l_Vega = std::vector<float>(kMaxFilters, 0.0f);  // ∫F_Vega T dλ
  std::vector<float> lamb_eff = std::vector<float>(kMaxFilters, 0.0f);  // Å
  // Filter i has two samples or more, strictly increasing: its own integrals never fail.
  std::vector<char> increasing = std::vector<char>(kMaxFilters, 0);

  // The set before any is loaded (no filter, shared, never changed): what a run measures with
  // until a galaxy loads one.
  static const std::shared_ptr<const FilterSet>& unloaded();

  // The curve of filter i: its Npt_fil(i) samples.
  std::span<const float> lambda(int i) const { return curve(t_lambda, i); }
  std::span<const float> transmission(int i) const { return curve(t_fluxes, i); }

 private:
  std::span<const float> curve(const std::vector<std::vector<float>>& c, int i) const {
    const auto& v = c[std::size_t(i)];
    return {v.data(), std::min(v.size(), std::size_t(std::max(Npt_fil[std::size_t(i)], 0)))};
  }
};

// `open` opens a file of the set for reading (nullopt when it cannot be opened, errno saying
// why).
using FileOpener = std::function<std::optional<textio::RecordFile>(const std::string& path)>;
inline std::optional<textio::RecordFile> open_file(const std::string& path) { return textio::RecordFile::open(path); }

// A filter set as loading it leaves it: the calibrated set, or the problem that stops the
// run, with the problems of every filter's calibration in the order they were met. Printing
// is separate (report_filter_load), so a load kept between galaxies prints exactly what
// reading the files again would.
struct FilterLoad {
  std::shared_ptr<const FilterSet> set;  // null after a stop
  Flow flow = Flow::go_on;
  bool counted = false;                           // the list's count was read: the listing has its head
  int count = 0;                                  // ... that count
  Problem stop;                                   // flow stop: the standard spectrum, list or filter file at fault
  bool no_standard = false;                       // ... a standard spectrum ("failure A", before the list's)
  std::vector<std::vector<Problem>> calibration;  // per filter, the failed integrals of its calibration
  // The first problem of a calibration (none: nullptr).
  const Problem* calibration_problem() const;
};

// Loads and calibrates the filter set from the directory text `fil_dir` (used up to its first
// blank). Prints nothing.
//
// Files in the directory: "VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat" (label and count, then
// 2..10,000 samples λ, flux; anything else stops the run), "ListFilters.txt" (count, at most
// 300, then one file name per record) and the filter files (15 header records, then at most
// 10,000 samples λ in Å, transmission). Nfilters, the names ("NONE" beyond the list) and the
// six calibration arrays (-999.0) are set; Npt_fil only for the filters read. A filter with
// no samples keeps -999.0 and is not listed. A failed integration fails the galaxy (its
// problem is kept) and the calibration goes on.
// M_ABVega = −2.5 log10(F_l_Vega / T_n_Area) − 48.6; T_G_Vega = 9.5 − 2.5 log10(F_V / F_BD)
// when F_BD > 0, else -999.0 (docs/formulae.md).
FilterLoad load_filter_set(std::string_view fil_dir, Rule rule, const FileOpener& open = open_file);

// Prints what loading the set prints (at Verbosity::listing its listing; the lines of every
// problem, "NO SPECTRUM READ" before "PROBLEM - Filters List" for a standard spectrum) and
// fails the galaxy where the load does; returns the load's flow.
Flow report_filter_load(ReportContext& report, const FilterLoad& load);

// ReadFilters: both, for a galaxy that has not failed (one that has gets no set and Flow::go_on).
FilterLoad ReadFilters(ReportContext& report, std::string_view fil_dir, Rule rule, const FileOpener& open = open_file);

}  // namespace veltrane
