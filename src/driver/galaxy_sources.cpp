#include "driver/galaxy_sources.h"

#include "readers/run_parameters.h"
#include "textio/format.h"
#include "textio/text_length.h"

namespace veltrane {
namespace {

// Longest used path_DIR + model name whose suffixed names (".MAG.out") still fit 600 characters.
constexpr std::size_t kMaxStem = kTextLen - 8;

}  // namespace

GalaxyJob Naming::job(int index, const std::string& name, float distance) const {
  GalaxyJob job;
  job.index = index;
  job.name = name;
  job.distance = distance;
  const std::string model = textio::used_part(name);
  const std::string stem = path_dir + model;
  const std::string out = output_dir.empty() ? stem : output_dir + model;
  job.files.arq_synt = textio::cut_text(stem);
  job.too_long = stem.size() > kMaxStem || out.size() > kMaxStem;
  job.files.log = out + ".LOG";
  job.files.mag = out + ".MAG.out";
  job.files.spc = out + ".SPC.out";
  job.files.mag_ecsv = out + ".mag.ecsv";
  job.files.spc_ecsv = out + ".spc.ecsv";
  return job;
}

bool RecordSource::next(GalaxyJob& job) {
  std::string name;
  float distance = 0.0f;
  if (auto problem = read_galaxy_record(file_, origin_, name, distance)) {
    problem_ = std::move(*problem);
    return false;
  }
  job = naming_.job(index_++, name, distance);
  return true;
}

}  // namespace veltrane
