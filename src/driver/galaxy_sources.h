// The sources of the model records: the grid file or standard input (one record per model,
// "name distance"), or the one model of the argument form, with the names of each model's
// files.
#pragma once

#include <memory>
#include <string>

#include "driver/galaxy_loop.h"
#include "driver/standard_input.h"
#include "driver/state.h"
#include "textio/list_input.h"

namespace veltrane {

// The names of a model's files: the used part of path_DIR (or the output directory for what
// the run writes), then the used part of the model name, then the suffix.
struct Naming {
  std::string path_dir;    // the used part of path_DIR
  std::string output_dir;  // empty: beside the fit results; else ending in "/"
  // A too long path_DIR + name is marked (job.too_long) for the model to be skipped.
  GalaxyJob job(int index, const std::string& name, float distance) const;
};

// Model records read from `file` as the run asks for them; `input` (standard input) is
// interrupted by cancel().
class RecordSource : public GalaxySource {
 public:
  RecordSource(textio::RecordFile file, Naming naming, std::shared_ptr<StandardInput> input = nullptr)
      : input_(std::move(input)), file_(std::move(file)), naming_(std::move(naming)) {}
  bool next(GalaxyJob& job) override;
  void cancel() override {
    if (input_) input_->interrupt();
  }

 private:
  std::shared_ptr<StandardInput> input_;  // first: it outlives the file reading from it
  textio::RecordFile file_;
  Naming naming_;
  int index_ = 0;
};

// The one model of the argument form.
class ArgumentSource : public GalaxySource {
 public:
  explicit ArgumentSource(GalaxyJob job) : job_(std::move(job)) {}
  bool next(GalaxyJob& job) override {
    job = job_;
    return true;
  }

 private:
  GalaxyJob job_;
};

}  // namespace veltrane
