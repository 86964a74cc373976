// veltrane-merge: joins the catalogues (veltrane --catalog) of the shards of one grid file.
// The exit statuses are this program's: the merge itself says how it ended (MergeEnd).
#include "catalog/merge.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: veltrane-merge [OPTIONS] OUT.fits IN.fits...\n"
    "Joins the catalogues that `veltrane --catalog` wrote for the shards of one grid file into\n"
    "OUT.fits, one row per galaxy in grid order, through a temporary file renamed into place.\n"
    "OUT.fits must be a new file: an input (under any name) or a file that exists is refused.\n"
    "Inputs of different runs (version, parameters, directories, grid file, filter set, spectrum\n"
    "grid) and galaxies held twice with values are refused; galaxies of the grid that no input\n"
    "holds with values are named, and then nothing is written unless --allow-missing.\n"
    "Options:\n"
    "  --overwrite      replace OUT.fits when it exists and is a Veltrane catalogue\n"
    "  --allow-missing  write OUT.fits even without some galaxies of the grid (its header\n"
    "                   names them: NMISSING, MISSING)\n"
    "  -h, --help       this help\n"
    "  --version        the version\n"
    "Exit status:\n"
    "  0  merged\n"
    "  1  an input cannot be read (missing, not FITS, cut short, damaged), or OUT.fits cannot be\n"
    "     written\n"
    "  2  wrong use: the command line, OUT.fits an input or a file that exists; inputs that are\n"
    "     not Veltrane catalogues, of different runs, or holding a galaxy twice\n"
    "  3  galaxies of the grid missing: nothing written (--allow-missing writes them all the same)\n"
    "See veltrane-merge(1).\n";

int exit_status(veltrane::catalog::MergeEnd end) {
  using veltrane::catalog::MergeEnd;
  switch (end) {
    case MergeEnd::merged: return 0;
    case MergeEnd::unreadable: return 1;
    case MergeEnd::refused: return 2;
    case MergeEnd::missing: return 3;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  veltrane::catalog::MergeOptions merge;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (options && (a == "-h" || a == "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (options && a == "--version") {
      std::printf("veltrane-merge %s\n", VELTRANE_VERSION);
      return 0;
    }
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--overwrite") {
      merge.overwrite = true;
    } else if (options && a == "--allow-missing") {
      merge.allow_missing = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "veltrane-merge: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() < 2) {
    std::fprintf(stderr, "veltrane-merge: an output and at least one input are needed\n%s", kUsage);
    return 2;
  }
  // A file-size limit then makes a write fail (reported, the temporary file removed) instead
  // of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  const veltrane::catalog::MergeReport report =
      veltrane::catalog::merge_catalogs(files[0], std::vector<std::string>(files.begin() + 1, files.end()), merge);
  for (const std::string& line : report.lines) std::fprintf(stderr, "veltrane-merge: %s\n", line.c_str());
  return exit_status(report.end);
}
