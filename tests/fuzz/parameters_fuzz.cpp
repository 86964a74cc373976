// The run parameters and the galaxy records after them on the input, as a grid file and as
// standard input (streamed). A record that cannot be read is a problem naming the input and
// a record; texts hold at most 600 characters.
#include "fuzz_util.h"
#include "readers/run_parameters.h"

namespace {

void read(veltrane::textio::RecordFile in, bool grid_file) {
  using namespace veltrane;
  RunParams p;
  if (auto problem = read_run_parameters(in, "grid", grid_file, p)) {
    vfuzz::check(problem->file == "grid" && problem->record >= 1 && !problem->reason.empty(), "a problem says where");
    return;
  }
  for (const std::string* t : {&p.path_DIR, &p.base_SSP, &p.fil_dir}) vfuzz::check(t->size() <= 600, "text length");
  std::string name;
  float distance = 0.0f;
  for (int m = 0; m < 8; ++m) {
    if (auto problem = read_galaxy_record(in, "grid", name, distance)) {
      vfuzz::check(problem->record > 9, "a galaxy record follows the parameters");
      return;
    }
    vfuzz::check(name.size() <= 600, "name length");
  }
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
