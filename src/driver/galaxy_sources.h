// The sources of the galaxy records: the grid file or standard input (one record per
// galaxy, "name distance"), or the one galaxy of the argument form, with the names of each
// galaxy's files.
#pragma once

#include <memory>
#include <string>

#include "driver/galaxy_loop.h"
#include "driver/standard_input.h"
#include "driver/state.h"
#include "textio/list_input.h"

namespace veltrane {

// The names of a galaxy's files: the used part of path_DIR (or the output directory for what
// the run writes), then the used part of the galaxy name, then the suffix.
struct Naming {
  std::string path_dir;    // the used part of path_DIR
  std::string output_dir;  // empty: beside the fit results; else ending in "/"
  // A too long path_DIR + name is marked (job.too_long) for the galaxy to be skipped.
  GalaxyJob job(int index, const std::string& name, float distance) const;
};

// Galaxy records read from `file` as the run asks for them; `input` (standard input) is
// interrupted by cancel().
class RecordSource : public GalaxySource {
 public:
  // `origin` names the input in problems (the grid file, or "standard input").
  RecordSource(textio::RecordFile file, std::string origin, Naming naming,
               std::shared_ptr<StandardInput> input = nullptr)
      : input_(std::move(input)), file_(std::move(file)), origin_(std::move(origin)), naming_(std::move(naming)) {}
  bool next(GalaxyJob& job) override;
  Problem problem() const override { return problem_; }
  void cancel() override {
    if (input_) input_->interrupt();
  }

 private:
  std::shared_ptr<StandardInput> input_;  // first: it outlives the file reading from it
  textio::RecordFile file_;
  std::string origin_;
  Naming naming_;
  int index_ = 0;
  Problem problem_;
};

// The one galaxy of the argument form.
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
