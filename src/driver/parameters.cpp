#include "driver/parameters.h"

#include <string>

namespace veltrane {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

[[noreturn]] void stop(Console& console, std::string_view message, int status) {
  console.say(message);
  throw RunStop(status, std::string(message));
}

[[noreturn]] void bad_parameter_record(Console& console) {
  stop(console, "... ERROR -> Bad or missing run parameter record", 1);
}

void read_parameter_records(Console& console, RecordFile& in, bool grid_file, RunParams& p) {
  auto check = [&](ReadStatus s) {
    if (s != ReadStatus::ok) bad_parameter_record(console);
  };
  check(textio::read_i15(in, p.N_models));
  check(textio::read_a600(in, p.path_DIR));
  check(textio::read_a600(in, p.base_SSP));
  check(textio::read_a600(in, p.fil_dir));
  {
    ListRead r(in);
    check(r.real(p.t_cutGyr));
  }
  if (grid_file) {
    check(textio::read_e15_5(in, p.Phyunits));
  } else {
    ListRead r(in);
    check(r.real(p.Phyunits));
  }
  check(textio::read_i15(in, p.Ext_Corr));
  check(textio::read_i15(in, p.PrintFil));
  check(textio::read_i15(in, p.Fverbose));
}

}  // namespace veltrane
