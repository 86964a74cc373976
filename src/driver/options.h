// Options, before the positional arguments (which keep their meaning); "--" ends them.
// Everything they add goes to standard error or to new files.
#pragma once

#include <string>

namespace veltrane {

struct Options {
  bool help = false;             // -h, --help
  bool version = false;          // --version
  int jobs = 1;                  // -j N, --jobs N: galaxies processed at once (0 on the line: every core)
  bool progress = false;         // --progress: the progress line even when standard error is no terminal
  bool quiet = false;            // --quiet: no summary at the end
  bool strict = false;           // --strict: exit status 3 when a galaxy failed
  bool ecsv = false;             // --ecsv: NAME.mag.ecsv and NAME.spc.ecsv beside the tables
  bool skip_existing = false;    // --skip-existing: galaxies whose tables all exist are skipped
  int shard = 1, shards = 1;     // --shard K/N: the K-th of N contiguous blocks of galaxies
  bool sharded = false;          // --shard was given (the summary counts the other shards)
  std::string output_dir;        // --output-dir DIR: tables and logs go there
  std::string catalog;           // --catalog FILE.fits: the survey catalogue (empty: none)
  bool catalog_spectra = false;  // --catalog-spectra: the catalogue holds the model spectra
  bool literal = false;          // --literal: every fast path and the input cache off (tests)
  bool fixed_inputs = false;     // --fixed-inputs: the kept inputs are not looked at again
  int first_positional = 1;      // argv index of the first positional argument
};

// The options, or the message of a wrong use (then the run ends with status 2).
struct ParsedOptions {
  Options options;
  std::string misuse;  // empty: the options are good
};
ParsedOptions parse_options(int argc, char** argv);

// The help text of --help.
const char* usage_text();
// One line of usage, for standard error after a misuse.
const char* usage_line();

}  // namespace veltrane
