#include "driver/galaxy_sources.h"

#include "readers/run_parameters.h"
#include "support/names.h"
#include "textio/format.h"
#include "textio/text_length.h"

namespace veltrane {
namespace {

// Longest used path_DIR + galaxy name whose suffixed names (".MAG.out") still fit 600 characters.
constexpr std::size_t kMaxStem = kTextLen - kMagSuffix.size();

}  // namespace

GalaxyJob Naming::job(int index, const std::string& name, float distance) const {
  GalaxyJob job;
  job.index = index;
  job.name = name;
  job.distance = distance;
  const std::string galaxy = textio::used_part(name);
  const std::string stem = path_dir + galaxy;
  const std::string out = output_dir.empty() ? stem : output_dir + galaxy;
  job.files.arq_synt = textio::cut_text(stem);
  job.too_long = stem.size() > kMaxStem || out.size() > kMaxStem;
  job.files.log = out + std::string(kLogSuffix);
  job.files.mag = out + std::string(kMagSuffix);
  job.files.spc = out + std::string(kSpcSuffix);
  job.files.mag_ecsv = out + std::string(kMagEcsvSuffix);
  job.files.spc_ecsv = out + std::string(kSpcEcsvSuffix);
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
