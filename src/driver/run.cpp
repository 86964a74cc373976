#include "driver/run.h"

#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalog/digest.h"
#include "driver/catalog_sink.h"
#include "driver/galaxy_loop.h"
#include "driver/galaxy_sources.h"
#include "driver/options.h"
#include "driver/parameters.h"
#include "driver/signals.h"
#include "driver/standard_input.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/diagnostics.h"
#include "support/file_check.h"
#include "support/report.h"
#include "support/run_stop.h"
#include "textio/format.h"
#include "textio/list_input.h"
#include "textio/text_length.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

constexpr int kMaxArgs = 300;

// The run parameters and the galaxy records of one input form.
struct RunInput {
  RunParams p;
  std::shared_ptr<GalaxySource> source;
  std::string grid;           // the grid file; empty: standard input or arguments
  std::string grid_identity;  // with a catalogue: the SHA-256 of the grid file's content
  int name_width = 0;         // a catalogue's NAME width; 0: the longest name a galaxy may have
};

// An argument that cannot be read as its value: status 2.
[[noreturn]] void bad_argument(Console& console, const std::string& arg, int position, const char* expected) {
  stop(console, "... ERROR -> Bad argument " + std::to_string(position), 2,
       {"", 0, 0, "argument " + std::to_string(position) + " " + quoted_record(arg) + " is not " + expected, {}});
}

// A free-format real read from one command-line argument.
void argument_real(Console& console, const std::string& arg, int position, float& v) {
  ListRead r{std::string_view(arg)};
  if (r.real(v) != ReadStatus::ok) bad_argument(console, arg, position, "a real number");
}

// An (i15) integer read from the first 15 characters of an argument; a missing one is 0.
void argument_int(Console& console, const std::vector<std::string>& args, int position, int& v) {
  v = 0;
  if (static_cast<int>(args.size()) < position) return;
  const std::string& arg = args[static_cast<std::size_t>(position - 1)];
  if (textio::parse_i15(std::string_view(arg).substr(0, std::min<std::size_t>(15, arg.size())), v) != ReadStatus::ok)
    bad_argument(console, arg, position, "an integer (in its first 15 characters)");
}

Naming naming_of(const RunParams& p, const Options& options) {
  Naming naming{textio::used_part(p.path_DIR), options.output_dir};
  if (!naming.output_dir.empty() && naming.output_dir.back() != '/') naming.output_dir += '/';
  return naming;
}

// verbatim: the labels of the echo ("Fil__Dir" with two underscores included).
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

// A directory text is used up to its first blank and joined to names without a separator:
// one that does not end with "/" there (forgotten, or cut at a blank) makes names that run
// into the directory's last word.
void check_directory(Diagnostics& diagnostics, const char* label, const std::string& text) {
  const std::string used = textio::used_part(text);
  if (used.empty() || used.back() == '/') return;
  const std::string_view adjusted = textio::adjust_trim(text);
  diagnostics.warn(std::string(label) + " '" + std::string(adjusted) + "'" +
                   (adjusted.size() > used.size() ? " holds a blank: only '" + used + "' is used, and it" : "") +
                   " does not end with '/': names are joined to it as they are ('" + used + "NAME')");
}

// The grid file's Phyunits field (record 6, e15.5) without a decimal point: its last five
// digits are read as decimals, which silently changes the value of "1E-17". `head`: the
// grid file's first lines.
void check_implied_decimals(Diagnostics& diagnostics, const std::string& grid, std::string_view head, float Phyunits) {
  RecordFile file = RecordFile::from_string(std::string(head));
  std::string_view record;
  // Records 1 to 6 as the parameter reader takes them: (i15), three (a), free format, (e15.5).
  if (!file.next_formatted(record, 15, true)) return;
  for (int r = 1; r < 4; ++r)
    if (!file.next_formatted(record, kTextLen, false)) return;
  if (!file.next_list(record) || !file.next_formatted(record, 15, true)) return;
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
  diagnostics.warn(grid + " record 6: Phyunits '" + field + "' has no decimal point, so it reads as " + value +
                   "; write it with a point (1.0E-17 for 1E-17)");
}

// The first `n` lines of `text` (each with its line feed).
std::string_view first_lines(std::string_view text, int n) {
  std::size_t end = 0;
  for (int i = 0; i < n && end < text.size(); ++i) {
    const std::size_t lf = text.find('\n', end);
    end = lf == std::string_view::npos ? text.size() : lf + 1;
  }
  return text.substr(0, end);
}

// No positional argument: the parameters and the galaxy records from standard input.
RunInput read_standard_input(Console& console, Diagnostics& diagnostics, const Options& options) {
  if (::isatty(STDIN_FILENO))
    diagnostics.warn(
        "reading the run parameters from standard input (end with Ctrl-D; veltrane --help for the other ways)");
  auto input = std::make_shared<StandardInput>();
  RecordFile records = RecordFile::from_stream(input->stream());
  RunInput in;
  read_parameter_records(console, records, "standard input", false, in.p);
  if (in.p.N_models == 0)
    stop(console, "... ERROR -> No grid file or arguments", 1,
         {"standard input", 1, 0, "the number of galaxies is 0: no grid file, no arguments, no galaxy", {}});
  in.source =
      std::make_shared<RecordSource>(std::move(records), "standard input", naming_of(in.p, options), std::move(input));
  return in;
}

// One positional argument: the grid file, listed by the existence test and read once: its
// records, the check of its Phyunits field, and with a catalogue its names' width and its
// digest all come from the one text read.
RunInput read_grid_file(Console& console, Diagnostics& diagnostics, const std::string& grid, const Options& options) {
  const bool exists = file_exists(grid);
  list_existence(console, grid, exists);
  const std::string path(textio::trim_right(grid));
  if (!exists) stop(console, "... ERROR -> WRONG grid file", 1, {path, 0, 0, "the grid file does not exist", {}});
  std::optional<RecordFile> records = RecordFile::open(path);
  if (!records) bad_parameter_record(console, {path, 0, 0, "the grid file cannot be read: " + system_reason(), {}});
  RunInput in;
  read_parameter_records(console, *records, path, true, in.p);
  const std::string_view text = records->contents();  // valid until the records move on
  check_implied_decimals(diagnostics, path, first_lines(text, 6), in.p.Phyunits);
  if (!options.catalog.empty()) {
    catalog::Sha256 digest;
    digest.add(text);
    in.grid_identity = digest.hex();
    in.name_width = grid_name_width(text, in.p.N_models);
  }
  in.source = std::make_shared<RecordSource>(std::move(*records), path, naming_of(in.p, options));
  in.grid = path;
  return in;
}

// Six or more positional arguments: one galaxy, its parameters on the command line.
RunInput read_arguments(Console& console, Diagnostics& diagnostics, const std::vector<std::string>& args,
                        const Options& options) {
  const int n = static_cast<int>(args.size());
  if (n <= 6) {
    diagnostics.write(std::string(usage_line()) + "\n");
    stop(console, n <= 5 ? "... ERROR -> Wrong number of arguments" : "... ERROR -> Phyunits argument missing", 2);
  }
  RunInput in;
  RunParams& p = in.p;
  float distance = 0.0f;
  argument_real(console, args[1], 2, distance);
  argument_real(console, args[5], 6, p.t_cutGyr);
  argument_real(console, args[6], 7, p.Phyunits);
  argument_int(console, args, 8, p.Ext_Corr);
  argument_int(console, args, 9, p.PrintFil);
  argument_int(console, args, 10, p.Fverbose);
  p.N_models = 1;
  p.path_DIR = args[2];
  p.base_SSP = args[3];
  p.fil_dir = args[4];
  if (p.PrintFil <= 0)
    diagnostics.warn("PRINTFIL (argument 9) is " + std::to_string(p.PrintFil) + ": no tables will be written");
  in.source = std::make_shared<ArgumentSource>(naming_of(p, options).job(0, args[0], distance));
  in.name_width = std::max(1, int(catalog::fits_text_length(textio::used_part(args[0]))));
  return in;
}

// The survey catalogue of the run (--catalog), its temporary file created: its provenance
// and its columns.
std::unique_ptr<CatalogSink> open_catalog(Console& console, Diagnostics& diagnostics, const Options& options,
                                          const RunInput& in) {
  const RunParams& p = in.p;
  catalog::Provenance prov;
  prov.version = VELTRANE_VERSION;
  prov.grid_file = in.grid;
  prov.grid_identity = in.grid_identity;
  prov.galaxies = p.N_models;
  prov.shard = options.shard;
  prov.shards = options.shards;
  const std::int64_t n = std::max(p.N_models, 0);
  prov.first_row = int(n * (options.shard - 1) / options.shards) + 1;
  prov.last_row = int(n * options.shard / options.shards);
  prov.path_dir = textio::used_part(p.path_DIR);
  prov.base_dir = textio::used_part(p.base_SSP);
  prov.filter_dir = textio::used_part(p.fil_dir);
  prov.t_cut_gyr = p.t_cutGyr;
  prov.phyunits = p.Phyunits;
  prov.ext_corr = p.Ext_Corr;
  catalog::Layout layout;
  // From standard input the names are not known ahead: the longest a galaxy may have.
  layout.name_width = in.name_width > 0 ? in.name_width : std::max(1, int(kTextLen - 8) - int(prov.path_dir.size()));
  layout.result_width = int(catalog::fits_text_length(prov.path_dir)) + layout.name_width;
  layout.spectra = options.catalog_spectra;
  // A file-size limit makes the write fail ("Cannot write") instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return std::make_unique<CatalogSink>(console, diagnostics,
                                       CatalogSink::Setup{options.catalog, prov, layout, options.skip_existing});
}

// The catalogue finished under the commit lock, before the exit action that would finish it
// on a signal is withdrawn; "Cannot write" (status 1) when it cannot be.
void close_catalog(Console& console, SignalGuard& signals, CatalogSink& sink) {
  bool ok = false;
  {
    std::lock_guard lock(signals.commit_mutex());
    ok = sink.finish();
    console.flush();
  }
  signals.set_exit_action({});
  if (!ok) throw RunStop(1, "the catalogue cannot be written");
}

// The galaxy loop, with the catalogue when there is one: finished at the end, after a stop of
// the run, and by the signal guard on SIGINT or SIGTERM.
RunSummary run_with_catalog(Console& console, Diagnostics& diagnostics, SignalGuard& signals, const Options& options,
                            RunInput& in) {
  if (options.catalog.empty()) return run_galaxies(console, diagnostics, in.p, std::move(in.source), options, signals);
  std::unique_ptr<CatalogSink> sink;
  struct Withdraw {
    SignalGuard& signals;
    ~Withdraw() { signals.set_exit_action({}); }
  } withdraw{signals};
  signals.set_exit_action([&console, &sink] {
    if (!sink) return;
    sink->finish();
    console.flush();
  });
  {
    // Under the commit lock, so that a signal finds either no catalogue or one its exit action
    // finishes, never a temporary file that nothing would remove.
    std::lock_guard lock(signals.commit_mutex());
    sink = open_catalog(console, diagnostics, options, in);
  }
  RunSummary summary;
  try {
    summary = run_galaxies(console, diagnostics, in.p, std::move(in.source), options, signals, sink.get());
  } catch (const RunStop&) {
    close_catalog(console, signals, *sink);
    throw;
  }
  close_catalog(console, signals, *sink);
  return summary;
}

// What every input form shares: the warnings, the echo, the galaxy loop, the banner.
int run_input(Console& console, Diagnostics& diagnostics, SignalGuard& signals, const Options& options, RunInput in) {
  RunParams& p = in.p;
  check_directory(diagnostics, "path_DIR", p.path_DIR);
  check_directory(diagnostics, "base_SSP", p.base_SSP);
  check_directory(diagnostics, "Fil__Dir", p.fil_dir);
  if (p.N_models <= 0)
    diagnostics.warn("no galaxy to process (the number of galaxies is " + std::to_string(p.N_models) + ")");

  const Verbosity verbosity = verbosity_of(p.Fverbose);
  if (verbosity == Verbosity::echo) echo_parameters(console, p);
  if (p.Phyunits <= 0.0f) {
    console.say("... VT__WARN: No reliable physical units");  // verbatim
    p.Phyunits = 1.0f;
  }
  if (verbosity == Verbosity::listing) console.say("[Veltrane]");
  p.t_cut = p.t_cutGyr * 1.0E9f;

  const RunSummary summary = run_with_catalog(console, diagnostics, signals, options, in);
  if (verbosity == Verbosity::listing) console.say("[Veltrane]");
  return options.strict && summary.failed > 0 ? 3 : 0;
}

// The positional arguments up to the first empty one, each cut to 600 characters.
std::vector<std::string> positional_arguments(int argc, char** argv, int first) {
  std::vector<std::string> args;
  for (int i = first; i < argc && int(args.size()) < kMaxArgs; ++i) {
    std::string a(argv[i]);
    if (a.empty()) break;
    args.push_back(a.substr(0, std::min(a.size(), kTextLen)));
  }
  return args;
}

int run(Console& console, Diagnostics& diagnostics, SignalGuard& signals, int argc, char** argv) {
  const ParsedOptions parsed = parse_options(argc, argv);
  if (!parsed.misuse.empty()) {
    diagnostics.warn(parsed.misuse);
    diagnostics.write(std::string(usage_line()) + "\n");
    return 2;
  }
  const Options& options = parsed.options;
  if (options.help) {
    std::fputs(usage_text(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("veltrane %s\n", VELTRANE_VERSION);
    return 0;
  }
  const std::vector<std::string> args = positional_arguments(argc, argv, options.first_positional);
  RunInput in = args.empty()       ? read_standard_input(console, diagnostics, options)
                : args.size() == 1 ? read_grid_file(console, diagnostics, args[0], options)
                                   : read_arguments(console, diagnostics, args, options);
  return run_input(console, diagnostics, signals, options, std::move(in));
}

}  // namespace

int run_main(int argc, char** argv) {
  // Whole galaxies reach the output at once; on a terminal, line by line.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, ::isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, sizeof buffer);
  Diagnostics diagnostics;
  SignalGuard signals(diagnostics);
  Console console(stdout);
  int status = 0;
  try {
    status = run(console, diagnostics, signals, argc, argv);
  } catch (const RunStop& s) {
    status = s.status();
    if (!s.problem().reason.empty()) diagnostics.warn(s.problem().where_and_why());
  }
  std::lock_guard lock(signals.commit_mutex());
  console.flush();
  if (std::ferror(stdout) != 0) {
    diagnostics.warn("cannot write to standard output");
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace veltrane
