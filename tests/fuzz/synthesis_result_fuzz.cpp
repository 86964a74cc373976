// The synthesis result reader on the input as the result file. Checked: a failure fails
// the galaxy for a problem naming its record and rewrites the log with one report; counts
// stay within the tables.
#include "fuzz_util.h"
#include "readers/synthesis_result.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane;
  textio::RecordFile file = textio::RecordFile::from_string(vfuzz::text_of(data, size));
  CapturedReport report;
  FitResult fit;
  Read_Out_KW(report.context, file, "result", 1.0e-17f, fit);
  const bool good = report.status.good();
  vfuzz::check(good ? report.log.empty() : report.log.reports().size() == 1, "a failure and its report");
  vfuzz::check(good || (report.status.cause().file == "result" && report.status.cause().record > 0),
               "a failure names its record");
  vfuzz::check(!good || (fit.Num_base <= kMaxSsp && fit.N_obs >= 0 && fit.N_obs <= kMaxPoints),
               "counts within the tables");
  return 0;
}
