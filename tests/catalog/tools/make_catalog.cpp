// make_catalog: writes the synthetic survey of tests/catalog/sample.h through the catalogue
// writer, for the checks with the real tools (fitsverify, astropy, fitsio, stilts, ulimit,
// kill) and the cluster tests.
//
//   make_catalog OUT.fits [--galaxies N] [--shard K/N] [--filters F] [--spectra P]
//                [--unread-upto G] [--phyunits X] [--t-cut GYR] [--version V] [--path-dir DIR]
//                [--skipped G,G,...] [--hold]
//
// --hold: after the rows, prints "appended" and waits for a line on standard input:
// "finish" finishes, anything else abandons. A write failure prints the driver's
// "    ... ERROR -> Cannot write OUT" and the reason on standard error, status 1.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "catalog/sample.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_catalog OUT.fits [options]\n");
    return 2;
  }
  const std::string out = argv[1];
  vtest::SampleOptions o;
  bool hold = false;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--hold") {
      hold = true;
      continue;
    }
    ++i;
    if (a == "--galaxies") o.galaxies = std::atoi(v.c_str());
    else if (a == "--shard") std::sscanf(v.c_str(), "%d/%d", &o.shard, &o.shards);
    else if (a == "--filters") o.filters = std::atoi(v.c_str());
    else if (a == "--spectra") o.points = std::atoi(v.c_str());
    else if (a == "--unread-upto") o.unread_upto = std::atoi(v.c_str());
    else if (a == "--phyunits") o.phyunits = std::strtof(v.c_str(), nullptr);
    else if (a == "--t-cut") o.t_cut = std::strtof(v.c_str(), nullptr);
    else if (a == "--version") o.version = v;
    else if (a == "--path-dir") o.path_dir = v;
    else if (a == "--skipped") {
      std::istringstream list(v);
      for (std::string g; std::getline(list, g, ',');) o.skipped.insert(std::atoi(g.c_str()));
    } else {
      std::fprintf(stderr, "make_catalog: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  const std::string error = vtest::write_sample(out, o, [hold](veltrane::catalog::CatalogWriter&) {
    if (!hold) return true;
    std::printf("appended\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return line == "finish";
  });
  if (error.empty()) return 0;
  std::printf("    ... ERROR -> Cannot write %s\n", out.c_str());
  std::fprintf(stderr, "make_catalog: %s\n", error.c_str());
  return 1;
}
