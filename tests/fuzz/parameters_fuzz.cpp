// The run parameters on the input, as a grid file and as standard input (streamed). A run
// may end (RunStop, status 1, after its message); texts hold at most 600 characters.
#include "driver/parameters.h"
#include "fuzz_util.h"

namespace {

void read(veltrane::textio::RecordFile in, bool grid_file) {
  using namespace veltrane;
  Console console = Console::capture();
  RunParams p;
  try {
    read_parameter_records(console, in, grid_file, p);
  } catch (const RunStop& stop) {
    vfuzz::check(stop.status() == 1 && !console.captured().empty(), "a stop and its message");
  }
  for (const std::string* t : {&p.path_DIR, &p.base_SSP, &p.fil_dir}) vfuzz::check(t->size() <= 600, "text length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = vfuzz::text_of(data, size);
  read(veltrane::textio::RecordFile::from_string(text), true);
  if (std::FILE* stream = fmemopen(text.data(), text.size(), "r")) {
    read(veltrane::textio::RecordFile::from_stream(stream), false);
    std::fclose(stream);
  }
  return 0;
}
