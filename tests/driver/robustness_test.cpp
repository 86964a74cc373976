// Damaged inputs never crash the run: random edits of every input file of a golden case end
// in a report and status 0 (the galaxy failed) or 1 (the run stopped), each said on standard
// error. Under the sanitizer
// build this also proves that no damaged file is read out of bounds.
#include <gtest/gtest.h>

#include <random>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::string damage(std::string text, std::mt19937& rng) {
  const int edits = 1 + static_cast<int>(rng() % 8);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    const std::size_t at = rng() % text.size();
    switch (rng() % 5) {
      case 0: text[at] = static_cast<char>(rng() % 256); break;          // any byte
      case 1: text.resize(at); break;                                    // cut short
      case 2: text.insert(at, "\n"); break;                              // shift the records
      case 3: text[at] = "0123456789.,/*'eE-+ \r\t"[rng() % 22]; break;  // plausible characters
      default: text.erase(at, std::min<std::size_t>(text.size() - at, 1 + rng() % 40)); break;
    }
  }
  return text;
}

TEST(Robustness, DamagedInputsEndInAReport) {
  const fs::path cases = fs::path(VELTRANE_TEST_DATA) / "cases";
  const char* targets[] = {"gal01",
                           "base/Base.txt",
                           "base/ssp_m.txt",
                           "filters/ListFilters.txt",
                           "filters/VegaLR.dat",
                           "filters/BoxBlue.dat",
                           "grid.in"};
  std::mt19937 rng(20261206);
  for (int round = 0; round < 28; ++round) {
    vtest::TempDir dir;
    fs::copy(cases / "_shared", dir.path(), fs::copy_options::recursive);
    if (round % 3 == 0) {  // both tables and the listings
      std::string grid = vtest::read_file(dir / "grid.in");
      grid.replace(grid.find("\n0\n1\n0\n"), 7, "\n0\n2\n1\n");
      vtest::write_file(dir / "grid.in", grid);
    }
    const std::string target = dir / targets[round % 7];
    vtest::write_file(target, damage(vtest::read_file(target), rng));
    const auto r = vtest::run_veltrane(dir.str(), {"grid.in"});
    SCOPED_TRACE(std::string(targets[round % 7]) + " round " + std::to_string(round));
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << "\n" << r.out.substr(0, 2000);
    EXPECT_EQ(r.out.find("Sanitizer"), std::string::npos) << r.out.substr(0, 4000);
    EXPECT_EQ(r.out.find("runtime error"), std::string::npos) << r.out.substr(0, 4000);
    // A galaxy that ran has its table; one that failed has its log, and standard error says
    // why; a run that stops says what stopped it before its summary.
    if (r.status == 0 && round % 7 != 6) {
      EXPECT_TRUE(vtest::exists(dir / "gal01.MAG.out") || vtest::exists(dir / "gal01.LOG")) << r.out.substr(0, 3000);
    }
    if (r.status == 0 && vtest::exists(dir / "gal01.LOG")) {
      EXPECT_NE(r.out.find("veltrane: galaxy ./gal01 failed: "), std::string::npos) << r.out.substr(0, 3000);
    }
    if (r.status == 1) {  // the first line on standard error says what stopped the run
      const std::size_t said = r.out.find("veltrane: ");
      ASSERT_NE(said, std::string::npos) << r.out.substr(0, 3000);
      EXPECT_NE(r.out.compare(said, 25, "veltrane: the run stopped"), 0) << r.out.substr(0, 3000);
    }
  }
}

}  // namespace
