#include "readers/run_parameters.h"

namespace veltrane {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

std::optional<Problem> read_run_parameters(RecordFile& in, const std::string& origin, bool grid_file, RunParams& p) {
  // Each record, in order, with what it holds for the problem of one that fails.
  const auto fixed = [&](ReadStatus s, const char* what) -> std::optional<Problem> {
    if (s == ReadStatus::ok) return std::nullopt;
    return read_problem(origin, in, s, nullptr, what);
  };
  const auto list = [&](float& v, const char* what) -> std::optional<Problem> {
    ListRead r(in);
    if (r.real(v) == ReadStatus::ok) return std::nullopt;
    return read_problem(origin, in, r.status(), &r, what);
  };
  if (auto pr = fixed(textio::read_i15(in, p.N_models), "the number of galaxies (an integer in columns 1-15)"))
    return pr;
  if (auto pr = fixed(textio::read_a600(in, p.path_DIR), "the directory of the synthesis results")) return pr;
  if (auto pr = fixed(textio::read_a600(in, p.base_SSP), "the directory of the SSP base")) return pr;
  if (auto pr = fixed(textio::read_a600(in, p.fil_dir), "the directory of the filter set")) return pr;
  if (auto pr = list(p.t_cutGyr, "the age cut in Gyr")) return pr;
  if (grid_file) {
    if (auto pr = fixed(textio::read_e15_5(in, p.Phyunits), "Phyunits (a real in columns 1-15)")) return pr;
  } else if (auto pr = list(p.Phyunits, "Phyunits")) {
    return pr;
  }
  if (auto pr = fixed(textio::read_i15(in, p.Ext_Corr), "Ext_Corr (an integer in columns 1-15)")) return pr;
  if (auto pr = fixed(textio::read_i15(in, p.PrintFil), "PrintFil (an integer in columns 1-15)")) return pr;
  if (auto pr = fixed(textio::read_i15(in, p.Fverbose), "Fverbose (an integer in columns 1-15)")) return pr;
  return std::nullopt;
}

std::optional<Problem> read_galaxy_record(RecordFile& in, const std::string& origin, std::string& name,
                                          float& distance) {
  name.clear();
  distance = 0.0f;
  ListRead r(in);
  if (r.text(name) == ReadStatus::ok && r.real(distance) == ReadStatus::ok) return std::nullopt;
  return read_problem(origin, in, r.status(), &r, "a galaxy record (name, distance in Mpc)");
}

}  // namespace veltrane
