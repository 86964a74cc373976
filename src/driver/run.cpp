#include "driver/run.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/model.h"
#include "driver/models.h"
#include "driver/options.h"
#include "driver/state.h"
#include "numerics/common.h"
#include "numerics/console.h"
#include "numerics/file_check.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

constexpr int kMaxArgs = 300;
// Longest used path_DIR + model name whose suffixed names (".MAG.out") still fit 600 characters.
constexpr std::size_t kMaxStem = kTextLen - 8;

[[noreturn]] void stop(Console& console, std::string_view message, int status) {
  console.say(message);
  throw RunStop(status, std::string(message));
}

[[noreturn]] void bad_parameter_record(Console& console) {
  stop(console, "... ERROR -> Bad or missing run parameter record", 1);
}

// The nine parameter records of a grid file or of standard input.
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

// A free-format real read from one command-line argument.
void argument_real(Console& console, const std::string& arg, int position, float& v) {
  ListRead r{std::string_view(arg)};
  if (r.real(v) != ReadStatus::ok)
    stop(console, "... ERROR -> Bad argument " + std::to_string(position), 2);
}

// An (i15) integer read from the first 15 characters of an argument; a missing one is 0.
void argument_int(Console& console, const std::vector<std::string>& args, int position, int& v) {
  v = 0;
  if (static_cast<int>(args.size()) < position) return;
  const std::string& arg = args[static_cast<std::size_t>(position - 1)];
  if (textio::parse_i15(std::string_view(arg).substr(0, std::min<std::size_t>(15, arg.size())), v) !=
      ReadStatus::ok)
    stop(console, "... ERROR -> Bad argument " + std::to_string(position), 2);
}

// A model's record and its file names (the used part of path_DIR, then the used part of
// the name, then the suffix).
ModelJob make_job(int index, const std::string& path_dir, const std::string& name, float distance) {
  ModelJob job;
  job.index = index;
  job.name = name;
  job.distance = distance;
  const std::string stem = path_dir + textio::used_part(name);
  job.files.arq_synt = textio::cut_text(stem);
  job.too_long = stem.size() > kMaxStem;
  job.files.log = stem + ".LOG";
  job.files.mag = stem + ".MAG.out";
  job.files.spc = stem + ".SPC.out";
  return job;
}

void echo_parameters(Console& console, const RunParams& p) {
  console.say("... N_models: " + textio::adj_i(p.N_models));
  console.say("... path_DIR: " + textio::used_part(p.path_DIR));
  console.say("... base_SSP: " + textio::used_part(p.base_SSP));
  console.say("... Fil__Dir: " + textio::used_part(p.fil_dir));
  console.say("... t_cutGyr: " + textio::adj_list(p.t_cutGyr));
  console.say("... Phyunits: " + textio::adj_e(p.Phyunits, 15, 5));
  console.say("... Ext_Corr: " + textio::adj_i(p.Ext_Corr));
  console.say("... PrintFil: " + textio::adj_i(p.PrintFil));
  console.say("... Fverbose: " + textio::adj_i(p.Fverbose));
}

// Model records from the grid file or standard input, read as the run asks for them.
class RecordSource : public ModelSource {
 public:
  RecordSource(RecordFile file, std::string path_dir) : file_(std::move(file)), path_dir_(std::move(path_dir)) {}
  bool next(ModelJob& job) override {
    std::string name;
    float distance = 0.0f;
    ListRead r(file_);
    if (r.text(name) != ReadStatus::ok || r.real(distance) != ReadStatus::ok) return false;
    job = make_job(index_++, path_dir_, name, distance);
    return true;
  }

 private:
  RecordFile file_;
  std::string path_dir_;
  int index_ = 0;
};

// The one model of the argument form.
class ArgumentSource : public ModelSource {
 public:
  explicit ArgumentSource(ModelJob job) : job_(std::move(job)) {}
  bool next(ModelJob& job) override {
    job = job_;
    return true;
  }

 private:
  ModelJob job_;
};

int run(Console& console, int argc, char** argv) {
  const std::optional<Options> options = parse_options(argc, argv);
  if (!options) return 2;
  // Arguments up to the first empty one, each cut to 600 characters.
  std::vector<std::string> args;
  for (int i = options->first_positional; i < argc && int(args.size()) < kMaxArgs; ++i) {
    std::string a(argv[i]);
    if (a.empty()) break;
    args.push_back(a.substr(0, std::min(a.size(), kTextLen)));
  }
  const int n = static_cast<int>(args.size());

  RunParams p;
  std::optional<RecordFile> input;
  std::string model_name;
  float distance = 0.0f;

  if (n == 0) {
    input = RecordFile::from_stdin();
    read_parameter_records(console, *input, false, p);
    if (p.N_models == 0) stop(console, "... ERROR -> No grid file or arguments", 1);
  } else if (n == 1) {
    if (!Ver_Dir_Arc(console, args[0], 1)) stop(console, "... ERROR -> WRONG grid file", 1);
    input = RecordFile::open(std::string(textio::trim_right(args[0])));
    if (!input) bad_parameter_record(console);
    read_parameter_records(console, *input, true, p);
  } else if (n <= 5) {
    stop(console, "... ERROR -> Wrong number of arguments", 2);
  } else if (n == 6) {
    stop(console, "... ERROR -> Phyunits argument missing", 2);
  } else {
    argument_real(console, args[1], 2, distance);
    argument_real(console, args[5], 6, p.t_cutGyr);
    argument_real(console, args[6], 7, p.Phyunits);
    argument_int(console, args, 8, p.Ext_Corr);
    argument_int(console, args, 9, p.PrintFil);
    argument_int(console, args, 10, p.Fverbose);
    p.N_models = 1;
    model_name = args[0];
    p.path_DIR = args[2];
    p.base_SSP = args[3];
    p.fil_dir = args[4];
  }

  if (p.Fverbose == 0) echo_parameters(console, p);
  if (p.Phyunits <= 0.0f) {
    console.say("... VT__WARN: No reliable physical units");
    p.Phyunits = 1.0f;
  }
  if (p.Fverbose == 1) console.say("[Veltrane]");
  p.t_cut = p.t_cutGyr * 1.0E9f;

  const std::string path_dir = textio::used_part(p.path_DIR);
  std::shared_ptr<ModelSource> source;
  if (input) source = std::make_shared<RecordSource>(std::move(*input), path_dir);
  else source = std::make_shared<ArgumentSource>(make_job(0, path_dir, model_name, distance));
  if (const auto status = run_models(console, p, std::move(source), options->jobs, options->literal))
    return *status;

  if (p.Fverbose == 1) console.say("[Veltrane]");
  return 0;
}

}  // namespace

int run_main(int argc, char** argv) {
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  Console console(stdout);
  int status = 0;
  try {
    status = run(console, argc, argv);
  } catch (const RunStop& s) {
    status = s.status();
  }
  console.flush();
  return status;
}

}  // namespace veltrane
