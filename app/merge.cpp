// veltrane-merge: joins the catalogues (veltrane --catalog) of the shards of one grid file.
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
    "OUT.fits, one row per galaxy in grid order. Inputs of different runs (version, grid file,\n"
    "directories, parameters, filter set, spectrum grid) and galaxies held twice with values are\n"
    "refused; galaxies of the grid that no input holds are stated on standard error.\n"
    "Exit status: 0 merged, 1 an input unreadable or damaged or OUT not written, 2 wrong use or\n"
    "inputs refused.\n"
    "Options:\n"
    "  -h, --help     this help\n"
    "  --version      the version\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
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
  std::string messages;
  const int status =
      veltrane::catalog::merge_catalogs(files[0], std::vector<std::string>(files.begin() + 1, files.end()), messages);
  std::fputs(messages.c_str(), stderr);
  return status;
}
