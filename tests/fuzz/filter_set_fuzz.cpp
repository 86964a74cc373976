// The filter-set reader. The input is cut at '|' into VegaLR.dat, Sun_LR.dat, BD+17d4708.dat,
// ListFilters.txt and the filter files, served in turn whatever the names listed (a part
// missing: a file that cannot be opened). A load may stop the run (then the galaxy has failed,
// and the stop names its file).
#include <algorithm>
#include <array>

#include "fuzz_util.h"
#include "photometry/filter_set.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane;
  const std::vector<std::string> parts = vfuzz::split(vfuzz::text_of(data, size), '|');
  std::size_t served = 0;
  const FileOpener open = [&](const std::string& path) -> std::optional<textio::RecordFile> {
    static const std::array<std::string, 4> fixed{"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat", "ListFilters.txt"};
    std::size_t k = std::size_t(std::find(fixed.begin(), fixed.end(), path) - fixed.begin());
    if (k == fixed.size() && parts.size() > k) k += served++ % (parts.size() - k);
    if (k >= parts.size()) return std::nullopt;
    return textio::RecordFile::from_string(parts[k]);
  };
  CapturedReport report(Verbosity::listing);
  const FilterLoad load = ReadFilters(report.context, "", Rule::T, open);
  if (load.flow == Flow::stop) {
    vfuzz::check(report.status.failed(), "a stop fails the galaxy");
    vfuzz::check(!load.stop.file.empty() && !load.stop.reason.empty(), "a stop says where and why");
    return 0;
  }
  const FilterSet& set = *load.set;
  vfuzz::check(set.Nfilters <= kMaxFilters, "filter count");
  for (int i = 0; i < std::max(set.Nfilters, 0); ++i)
    vfuzz::check(set.lambda(i).size() == std::size_t(set.Npt_fil[std::size_t(i)]), "curve length");
  return 0;
}
