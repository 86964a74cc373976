// Damaged inputs never crash the run: random edits of every input file of a scene end in a
// report and status 0 (the model failed) or 1 (the run stopped). Under the sanitizer build
// this also proves that no damaged file is read out of bounds.
#include <gtest/gtest.h>

#include <random>

#include "scene.h"
#include "test_util.h"

namespace {

std::string damage(std::string text, std::mt19937& rng) {
  std::uniform_int_distribution<int> kind(0, 4);
  std::uniform_int_distribution<std::size_t> where(0, text.empty() ? 0 : text.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  const int edits = 1 + static_cast<int>(rng() % 8);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    const std::size_t at = where(rng) % text.size();
    switch (kind(rng)) {
      case 0: text[at] = static_cast<char>(byte(rng)); break;           // any byte
      case 1: text.resize(at); break;                                   // cut short
      case 2: text.insert(at, "\n"); break;                             // shift the records
      case 3: text[at] = "0123456789.,/*'eE-+ \r\t"[rng() % 22]; break;  // plausible characters
      default: text.erase(at, std::min<std::size_t>(text.size() - at, 1 + rng() % 40)); break;
    }
  }
  return text;
}

TEST(Robustness, DamagedInputsEndInAReport) {
  std::mt19937 rng(20261206);
  const char* targets[] = {"gal01", "base.txt", "ssp1.txt", "filters/ListFilters.txt",
                           "filters/VegaLR.dat", "filters/BoxBlue.dat", "grid.in"};
  for (int round = 0; round < 28; ++round) {
    vtest::Scene s;
    s.grid.print_fil = "2";
    s.grid.verbose = round % 3 == 0 ? "1" : "0";
    s.write();
    const std::string target = s.file(targets[round % 7]);
    const std::string damaged = damage(vtest::read_file(target), rng);
    vtest::write_file(target, damaged);
    const auto r = vtest::run_veltrane(s.dir.str(), {s.file("grid.in")});
    SCOPED_TRACE(std::string(targets[round % 7]) + " round " + std::to_string(round));
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << "\n" << r.out.substr(0, 2000);
    EXPECT_EQ(r.out.find("Sanitizer"), std::string::npos) << r.out.substr(0, 4000);
    EXPECT_EQ(r.out.find("runtime error"), std::string::npos) << r.out.substr(0, 4000);
    if (r.status == 0 && round % 7 != 6) {
      // A model that ran has its table; one that failed has its log.
      EXPECT_TRUE(vtest::exists(s.file("gal01.MAG.out")) || vtest::exists(s.file("gal01.LOG")));
    }
  }
}

}  // namespace
