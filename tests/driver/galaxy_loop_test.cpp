// The model loop's committer tells a CommitListener of every galaxy it writes, in galaxy
// order and in the thread that runs the loop, with one job or two; a bad galaxy record stops
// the run (RunStop, status 1) and nothing is heard of it. The galaxies are the golden cases'
// gal01 under several names and distances, and a name without a result file (it fails, and
// is committed all the same).
#include "driver/galaxy_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "driver/galaxy_sources.h"
#include "support/run_stop.h"
#include "test_util.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

struct Listener : CommitListener {
  std::vector<int> indexes;
  std::vector<std::thread::id> threads;
  Flow committed(const GalaxyJob& job, const GalaxyOutcome&) override {
    indexes.push_back(job.index);
    threads.push_back(std::this_thread::get_id());
    return Flow::go_on;
  }
};

TEST(ModelLoop, TheListenerHearsOfEveryCommitInOrderInTheCommittingThread) {
  const struct {
    const char* records;
    int n;
    std::vector<int> heard;
    bool stops;
  } cases[] = {{"gal01 45.0\nnothere 1.0\ng2 20.0\ng3 30.0\ng4 40.0\n", 5, {0, 1, 2, 3, 4}, false},
               {"gal01 45.0\ng2 20.0\n'unclosed\n", 4, {0, 1}, true}};
  for (const auto& c : cases) {
    for (int jobs : {1, 2}) {
      vtest::TempDir dir;
      fs::copy(fs::path(VELTRANE_TEST_DATA) / "cases/_shared", dir.path(), fs::copy_options::recursive);
      for (const char* copy : {"g2", "g3", "g4"}) fs::copy(dir / "gal01", dir / copy);
      RunParams p;
      p.N_models = c.n;
      p.path_DIR = dir.str() + "/";
      p.base_SSP = dir / "base/";
      p.fil_dir = dir / "filters/";
      p.Phyunits = 1.0e-17f;
      p.t_cut = 1.0e9f;
      p.PrintFil = 1;
      auto source =
          std::make_shared<RecordSource>(textio::RecordFile::from_string(c.records), "grid", Naming{p.path_DIR, ""});
      Options options;
      options.jobs = jobs;
      options.quiet = true;
      Console console = Console::capture();
      Diagnostics diagnostics;
      SignalGuard signals(diagnostics);
      Listener heard;
      bool stopped = false;
      try {
        run_galaxies(console, diagnostics, p, source, options, signals, &heard);
      } catch (const RunStop& stop) { stopped = stop.status() == 1; }
      EXPECT_EQ(stopped, c.stops) << jobs << " jobs";
      EXPECT_EQ(heard.indexes, c.heard) << jobs << " jobs";
      for (std::thread::id t : heard.threads) EXPECT_EQ(t, std::this_thread::get_id());
      EXPECT_TRUE(vtest::exists(dir / "g2.MAG.out"));
      EXPECT_EQ(vtest::exists(dir / "nothere.LOG"), !c.stops);
    }
  }
}

}  // namespace
}  // namespace veltrane
