// The SSP base reader. The input is cut at '|': part 1 holds "Olsynini Olsynfin Num_base
// Fverbose" (list-directed; missing values keep 4000 7000 0 0), part 2 the base file, the
// later parts the SSP files, served in turn whatever their names (none: an SSP file that
// cannot be opened). The whole input is also parsed as a base file and as an SSP file.
// A reading may stop the run (then the model has failed); a failure leaves a report.
#include <algorithm>
#include <cmath>

#include "fuzz_util.h"
#include "readers/ssp_base.h"
#include "textio/list_input.h"

namespace {

using namespace veltrane;

class Source : public BaseSource {
 public:
  explicit Source(const std::vector<std::string>& parts) : parts_(parts), parsed_(parts.size()) {}
  std::shared_ptr<const BaseFile> base_file(const std::string&) override {
    return parts_.size() < 2 ? nullptr : std::make_shared<const BaseFile>(parse_base_file(parts_[1]));
  }
  std::shared_ptr<const SspFile> ssp_file(const std::string&) override {
    if (parts_.size() < 3) return nullptr;
    const std::size_t k = 2 + served_++ % (parts_.size() - 2);
    if (!parsed_[k]) parsed_[k] = std::make_shared<const SspFile>(parse_ssp_file(parts_[k]));
    return parsed_[k];
  }
  std::shared_ptr<const BaseTables> tables(std::span<const std::shared_ptr<const SspFile>> ssps) override {
    return assemble_base(ssps);
  }

 private:
  const std::vector<std::string>& parts_;
  std::vector<std::shared_ptr<const SspFile>> parsed_;
  std::size_t served_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = vfuzz::text_of(data, size);
  parse_base_file(in);
  parse_ssp_file(in);

  const std::vector<std::string> parts = vfuzz::split(in, '|');
  float ini = 4000, fin = 7000;
  int num = 0, verbose = 0;
  textio::ListRead head{std::string_view(parts[0])};
  head.real(ini), head.real(fin), head.integer(num), head.integer(verbose);

  Source source(parts);
  CapturedReport report(verbosity_of(verbose));
  const BaseRead read = Read_BASpec(report.context, source, {".", "base/", ini, fin, num});
  vfuzz::check(read.flow == Flow::go_on || report.status.failed(), "a stop fails the model");
  vfuzz::check(report.status.good() || !report.log.empty(), "a failure leaves its report");
  vfuzz::check(read.replaced == (read.tables != nullptr), "tables with a reading past the reset");
  const auto tables = read.tables ? read.tables : BaseTables::initial();
  // The columns read are whole (the sanitizers watch) and marked finite when they are.
  for (std::size_t k = 0; k < tables->owners.size(); ++k) {
    const auto f = tables->flux(int(k));
    const bool finite = std::all_of(f.begin(), f.end(), [](float v) { return std::isfinite(v); });
    vfuzz::check(tables->finite[k] == finite, "finite columns");
  }
  return 0;
}
