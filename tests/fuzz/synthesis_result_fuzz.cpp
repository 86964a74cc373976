// The synthesis result reader on the input as the result file. Checked: a failure clears
// IsKeepOn and rewrites the log with one report; counts stay within the tables.
#include "fuzz_util.h"
#include "readers/synthesis_result.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane;
  textio::RecordFile file = textio::RecordFile::from_string(vfuzz::text_of(data, size));
  Console console = Console::capture();
  ProblemLog log(&console);
  FitResult fit;
  int keep = 1;
  Read_Out_KW(console, log, file, 1.0e-17f, fit, keep);
  vfuzz::check(keep == 1 ? log.empty() : log.reports().size() == 1, "a failure and its report");
  vfuzz::check(keep == 0 || (fit.Num_base <= kMaxSsp && fit.N_obs >= 0 && fit.N_obs <= kMaxPoints),
               "counts within the tables");
  return 0;
}
