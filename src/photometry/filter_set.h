// The filter set: filter curves in list order with their calibration on Vega, the Sun and
// BD+17d4708. Indices are 0-based here (filter i of the list is i - 1).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"

namespace veltrane {

struct FilterSet {
  int Nfilters = 0;
  std::vector<std::string> name_fil = std::vector<std::string>(kMaxFilters);  // without trailing blanks
  std::vector<int> Npt_fil = std::vector<int>(kMaxFilters, 0);
  std::vector<float> t_lambda = std::vector<float>(std::size_t(kMaxPoints) * kMaxFilters, 0.0f);  // column i: filter i, Å
  std::vector<float> t_fluxes = std::vector<float>(std::size_t(kMaxPoints) * kMaxFilters, 0.0f);
  std::vector<float> T_l_Area = std::vector<float>(kMaxFilters, 0.0f);  // ∫T dλ
  std::vector<float> T_n_Area = std::vector<float>(kMaxFilters, 0.0f);  // ∫T c/λ² dλ
  std::vector<float> M_ABVega = std::vector<float>(kMaxFilters, 0.0f);  // AB magnitude of Vega
  std::vector<float> T_G_Vega = std::vector<float>(kMaxFilters, 0.0f);  // Vega when BD+17d4708 is 9.5
  std::vector<float> F_l_Vega = std::vector<float>(kMaxFilters, 0.0f);  // ∫F_Vega T dλ
  std::vector<float> lamb_eff = std::vector<float>(kMaxFilters, 0.0f);  // Å

  // The curve of filter i: its Npt_fil(i) samples.
  std::span<const float> lambda(int i) const {
    return {t_lambda.data() + std::size_t(i) * kMaxPoints, std::size_t(Npt_fil[std::size_t(i)])};
  }
  std::span<const float> transmission(int i) const {
    return {t_fluxes.data() + std::size_t(i) * kMaxPoints, std::size_t(Npt_fil[std::size_t(i)])};
  }
};

// Loads and calibrates the filter set from the directory text `fil_dir` (used up to its first
// blank). Returns at once when IsKeepOn is 0. A failed integration clears IsKeepOn; a missing
// or unreadable standard spectrum, list or filter file prints failure A/B and ends the run
// with RunStop(1). verbose == 1 prints the listing.
void ReadFilters(Console& console, FilterSet& set, std::string_view fil_dir, int mode,
                 int& IsKeepOn, int verbose);

}  // namespace veltrane
