#include "driver/run.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/model.h"
#include "driver/models.h"
#include "driver/options.h"
#include "driver/parameters.h"
#include "driver/signals.h"
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

// The names of a model's files: the used part of path_DIR (or the output directory for what
// the run writes), then the used part of the model name, then the suffix.
struct Naming {
  std::string path_dir;
  std::string output_dir;  // empty: beside the fit results
  ModelJob job(int index, const std::string& name, float distance) const {
    ModelJob job;
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
};

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
  RecordSource(RecordFile file, Naming naming) : file_(std::move(file)), naming_(std::move(naming)) {}
  bool next(ModelJob& job) override {
    std::string name;
    float distance = 0.0f;
    ListRead r(file_);
    if (r.text(name) != ReadStatus::ok || r.real(distance) != ReadStatus::ok) return false;
    job = naming_.job(index_++, name, distance);
    return true;
  }

 private:
  RecordFile file_;
  Naming naming_;
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

void warn(const std::string& text) { std::fprintf(stderr, "veltrane: %s\n", text.c_str()); }

// A directory text is used up to its first blank and joined to names without a separator:
// one that does not end with "/" there (forgotten, or cut at a blank) makes names that run
// into the directory's last word.
void check_directory(const char* label, const std::string& text) {
  const std::string used = textio::used_part(text);
  if (used.empty() || used.back() == '/') return;
  const std::string_view adjusted = textio::adjust_trim(text);
  warn(std::string(label) + " '" + std::string(adjusted) + "'" +
       (adjusted.size() > used.size() ? " holds a blank: only '" + used + "' is used, and it" : "") +
       " does not end with '/': names are joined to it as they are ('" + used + "NAME')");
}

// The grid file's Phyunits field (record 6, e15.5) without a decimal point: its last five
// digits are read as decimals, which silently changes the value of "1E-17".
void check_implied_decimals(const std::string& grid, float Phyunits) {
  auto file = RecordFile::open(grid);
  std::string_view record;
  // Records 1 to 6 as the parameter reader takes them: (i15), three (a), free format, (e15.5).
  if (!file || !file->next_formatted(record, 15, true)) return;
  for (int r = 1; r < 4; ++r)
    if (!file->next_formatted(record, kTextLen, false)) return;
  if (!file->next_list(record) || !file->next_formatted(record, 15, true)) return;
  std::string field;
  for (char c : record.substr(0, 15)) {
    if (c == ',') break;
    if (c != ' ') field.push_back(c);
  }
  const std::size_t mantissa_end = field.find_first_not_of("+-0123456789");
  const std::string mantissa = field.substr(0, mantissa_end);
  if (field.find('.') != std::string::npos || mantissa.find_first_of("123456789") == std::string::npos) return;
  char value[32];
  std::snprintf(value, sizeof value, "%g", double(Phyunits));
  warn(grid + " record 6: Phyunits '" + field + "' has no decimal point, so it reads as " + value +
       "; write it with a point (1.0E-17 for 1E-17)");
}

int run(Console& console, SignalGuard& signals, int argc, char** argv) {
  const std::optional<Options> options = parse_options(argc, argv);
  if (!options) return 2;
  if (options->help) {
    std::fputs(usage_text(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("veltrane %s\n", VELTRANE_VERSION);
    return 0;
  }
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
    if (::isatty(STDIN_FILENO))
      warn("reading the run parameters from standard input (end with Ctrl-D; veltrane --help for the other ways)");
    input = RecordFile::from_stdin();
    read_parameter_records(console, *input, false, p);
    if (p.N_models == 0) stop(console, "... ERROR -> No grid file or arguments", 1);
  } else if (n == 1) {
    if (!Ver_Dir_Arc(console, args[0], 1)) stop(console, "... ERROR -> WRONG grid file", 1);
    input = RecordFile::open(std::string(textio::trim_right(args[0])));
    if (!input) bad_parameter_record(console);
    read_parameter_records(console, *input, true, p);
    check_implied_decimals(std::string(textio::trim_right(args[0])), p.Phyunits);
  } else if (n <= 5) {
    std::fprintf(stderr, "%s\n", usage_line());
    stop(console, "... ERROR -> Wrong number of arguments", 2);
  } else if (n == 6) {
    std::fprintf(stderr, "%s\n", usage_line());
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
    if (p.PrintFil <= 0) warn("PRINTFIL (argument 9) is " + std::to_string(p.PrintFil) + ": no tables will be written");
  }
  check_directory("path_DIR", p.path_DIR);
  check_directory("base_SSP", p.base_SSP);
  check_directory("Fil__Dir", p.fil_dir);
  if (p.N_models <= 0) warn("no galaxy to process (the number of galaxies is " + std::to_string(p.N_models) + ")");

  if (p.Fverbose == 0) echo_parameters(console, p);
  if (p.Phyunits <= 0.0f) {
    console.say("... VT__WARN: No reliable physical units");
    p.Phyunits = 1.0f;
  }
  if (p.Fverbose == 1) console.say("[Veltrane]");
  p.t_cut = p.t_cutGyr * 1.0E9f;
  p.ecsv = options->ecsv;

  Naming naming{textio::used_part(p.path_DIR), options->output_dir};
  if (!naming.output_dir.empty() && naming.output_dir.back() != '/') naming.output_dir += '/';
  std::shared_ptr<ModelSource> source;
  if (input) source = std::make_shared<RecordSource>(std::move(*input), naming);
  else source = std::make_shared<ArgumentSource>(naming.job(0, model_name, distance));
  const RunSummary summary = run_models(console, p, std::move(source), *options, signals);
  if (summary.status) return *summary.status;

  if (p.Fverbose == 1) console.say("[Veltrane]");
  return options->strict && summary.failed > 0 ? 3 : 0;
}

}  // namespace

int run_main(int argc, char** argv) {
  // Whole models reach the output at once; on a terminal, line by line.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, ::isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, sizeof buffer);
  SignalGuard signals;
  Console console(stdout);
  int status = 0;
  try {
    status = run(console, signals, argc, argv);
  } catch (const RunStop& s) {
    status = s.status();
  }
  std::lock_guard lock(signals.commit_mutex());
  console.flush();
  if (std::ferror(stdout) != 0) {
    std::fputs("veltrane: cannot write to standard output\n", stderr);
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace veltrane
