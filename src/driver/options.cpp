#include "driver/options.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <thread>

namespace veltrane {
namespace {

ParsedOptions misuse(std::string message) { return {Options{}, std::move(message)}; }

bool number(std::string_view v, int& n) {
  const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  return r.ec == std::errc() && r.ptr == v.data() + v.size();
}

}  // namespace

const char* usage_line() {
  return "usage: veltrane [OPTIONS] [GRID_FILE | NAME DIST PATH_DIR BASE_DIR FILTER_DIR T_CUT_GYR "
         "PHYUNITS [EXT_CORR [PRINTFIL [VERBOSE]]]]   (veltrane --help)";
}

const char* usage_text() {
  return R"(veltrane: synthetic photometry of stellar-population synthesis fits

Usage:
  veltrane [OPTIONS]            run parameters and galaxy records from standard input
  veltrane [OPTIONS] GRID_FILE  ... from a grid file
  veltrane [OPTIONS] NAME DIST PATH_DIR BASE_DIR FILTER_DIR T_CUT_GYR PHYUNITS
                     [EXT_CORR [PRINTFIL [VERBOSE]]]        one galaxy

Grid file (and standard input): nine parameter records, then one record per galaxy.
  1  number of galaxies                   integer in columns 1-15
  2  directory of the fit results         whole line, ending in "/" (outputs go there too)
  3  directory of the SSP base            whole line, ending in "/"
  4  directory of the filter set          whole line, ending in "/"
  5  age cut in Gyr                       free format
  6  physical-units factor                columns 1-15, with a decimal point (1.0E-17);
                                          from standard input: free format
  7  1: de-redden the observation, other: redden the models     integer, columns 1-15
  8  0: no tables, 1: NAME.MAG.out, 2: also NAME.SPC.out        integer, columns 1-15
  9  0: echo the parameters, 1: banner and reader listings, 5: every SSP point
  10...  one galaxy per record: its result file name and its distance in Mpc
Paths are relative to the working directory. Limits: 300 SSPs, 300 filters, 10,000 points
per spectrum or filter curve.

Options (before the positional arguments):
  -h, --help          this text
  --version           the version
  -j N, --jobs N      process N galaxies at once (0: every core); output as with -j 1
  --progress          a progress line on standard error (the default on a terminal)
  --quiet             no summary on standard error at the end
  --strict            exit status 3 when a galaxy failed
  --ecsv              also write NAME.mag.ecsv and NAME.spc.ecsv (astropy ECSV tables)
  --shard K/N         process only the K-th of N contiguous blocks of the galaxy list
  --skip-existing     skip galaxies whose tables all exist (restart after a time limit)
  --output-dir DIR    write tables and logs to DIR instead of beside the fit results
  --catalog FILE      also write every galaxy as one row of a FITS table (the survey
                      catalogue); with --skip-existing, an earlier catalogue of that name
                      is continued: its galaxies are kept and skipped
  --catalog-spectra   the catalogue also holds the total, young and old model spectra
  --fixed-inputs      the SSP base and filter files do not change while the run lasts: each
                      is looked at once per run, not at every galaxy (cluster file systems)
  --literal           slow reference paths, no input cache (for testing)

Exit status: 0 every galaxy processed (failed ones keep a NAME.LOG); 1 the run stopped
early (missing grid, base, SSP or filter file, unreadable record, a file that cannot be
written, repeated wavelengths); 2 wrong use of the command line; 3 with --strict, a galaxy
failed; 130/143 interrupted (SIGINT/SIGTERM).
)";
}

ParsedOptions parse_options(int argc, char** argv) {
  Options o;
  int i = 1;
  const auto value = [&](std::string_view a, std::string_view name) -> std::optional<std::string_view> {
    if (a == name) {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    }
    return a.substr(name.size() + (a[name.size()] == '=' ? 1 : 0));
  };
  for (; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a.size() < 2 || a[0] != '-') break;  // a positional argument (or "-", or empty)
    if (a == "--") {
      ++i;
      break;
    }
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--literal") {
      o.literal = true;
    } else if (a == "--fixed-inputs") {
      o.fixed_inputs = true;
    } else if (a == "--progress") {
      o.progress = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--strict") {
      o.strict = true;
    } else if (a == "--ecsv") {
      o.ecsv = true;
    } else if (a == "--skip-existing") {
      o.skip_existing = true;
    } else if (a == "--catalog-spectra") {
      o.catalog_spectra = true;
    } else if (a == "--catalog" || a.starts_with("--catalog=")) {
      const auto v = value(a, "--catalog");
      if (!v || v->empty()) return misuse("--catalog needs a file name");
      o.catalog = std::string(*v);
    } else if (a.starts_with("-j") || a == "--jobs" || a.starts_with("--jobs=")) {
      const auto v = value(a, a.starts_with("-j") ? "-j" : "--jobs");
      int n = -1;
      if (!v || !number(*v, n) || n < 0 || n > 1024)
        return misuse("-j needs a number of jobs from 0 (every core) to 1024");
      o.jobs = n == 0 ? int(std::max(1u, std::thread::hardware_concurrency())) : n;
    } else if (a == "--shard" || a.starts_with("--shard=")) {
      const auto v = value(a, "--shard");
      const std::size_t slash = v ? v->find('/') : std::string_view::npos;
      if (slash == std::string_view::npos || !number(v->substr(0, slash), o.shard) ||
          !number(v->substr(slash + 1), o.shards) || o.shards < 1 || o.shard < 1 || o.shard > o.shards)
        return misuse("--shard needs K/N with 1 <= K <= N");
      o.sharded = true;
    } else if (a == "--output-dir" || a.starts_with("--output-dir=")) {
      const auto v = value(a, "--output-dir");
      if (!v || v->empty()) return misuse("--output-dir needs a directory");
      o.output_dir = std::string(*v);
    } else {
      return misuse("unknown option '" + std::string(a) + "' (options come before the positional arguments)");
    }
  }
  if (o.catalog_spectra && o.catalog.empty()) return misuse("--catalog-spectra needs --catalog FILE");
  o.first_positional = i;
  return {o, ""};
}

}  // namespace veltrane
