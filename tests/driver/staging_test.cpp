// Tables written ahead of their commit: a temporary file is new (never over a name that is
// taken), beside its table, registered until a commit renames it or it is discarded, and
// nothing of it is left after a failure, a discard or the close before an exit. The commit
// renames what was written ahead, and writes as a single thread would where that cannot
// stand (the staged file has gone, something sits at the log's name).
#include "driver/staging.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "driver/process.h"
#include "test_util.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

std::set<std::string> names_in(const vtest::TempDir& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  return names;
}

// Eight characters: a dot, five base-36 digits of the process id (modulo 36^5), two of the
// attempt (modulo 36^2), so processes sharing a directory rarely meet each other's names.
TEST(Staging, TemporaryNames) {
  const struct {
    unsigned pid, attempt;
    const char* name;
  } cases[] = {{0, 0, ".0000000"},
               {1, 35, ".000010z"},
               {60466175, 1295, ".zzzzzzz"},
               {60466176, 1296, ".0000000"},
               {1679616, 36, ".1000010"}};
  for (const auto& c : cases) EXPECT_EQ(temporary_name(c.pid, c.attempt), c.name) << c.pid << " " << c.attempt;
}

TEST(Staging, TemporaryFilesAreNewBesideTheirTableAndNeverLeft) {
  vtest::TempDir dir;
  TemporaryFiles temps;
  // The first names are taken by a file of another program and a directory.
  const unsigned pid = unsigned(::getpid());
  const std::string taken0 = temporary_name(pid, 0), taken1 = temporary_name(pid, 1);
  vtest::write_file(dir / taken0, "another program's\n");
  fs::create_directory(dir / taken1);
  const auto a = temps.write(dir / "a.MAG.out", "table a\n");
  const auto b = temps.write(dir / "b.MAG.out", "table b\n");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, dir / temporary_name(pid, 2));
  EXPECT_EQ(*b, dir / temporary_name(pid, 3));
  EXPECT_TRUE(temps.rename(*a, dir / "a.MAG.out"));
  vtest::write_file(*a, "someone else's\n");  // renamed, the name is free for anyone
  temps.discard(*a);
  EXPECT_EQ(vtest::read_file(*a), "someone else's\n");
  fs::remove(*a);
  fs::create_directory(dir / "b.MAG.out");  // a rename that fails removes the file
  EXPECT_FALSE(temps.rename(*b, dir / "b.MAG.out"));
  EXPECT_FALSE(temps.write(dir / "missing/c.MAG.out", "c\n"));
  const auto d = temps.write(dir / "d.SPC.out", "d\n");
  const auto e = temps.write(dir / "e.SPC.out", "e\n");
  ASSERT_TRUE(d && e);
  temps.discard(*d);
  temps.close();  // before an exit: every file removed, and none made after
  EXPECT_FALSE(temps.write(dir / "f.MAG.out", "f\n"));
  EXPECT_EQ(names_in(dir), (std::set<std::string>{taken0, taken1, "a.MAG.out", "b.MAG.out"}));
  EXPECT_EQ(vtest::read_file(dir / "a.MAG.out"), "table a\n");
  EXPECT_EQ(vtest::read_file(dir / taken0), "another program's\n");
}

TEST(Staging, TheCommitRenamesWhatWasWrittenAheadWhereItCanStand) {
  // A good model's log is moved into place and removed by the end-of-model rule; a failed
  // one's stays. Where something sits at the log's name the log is written as without
  // workers: a dangling link's target is created, a directory cannot be written ("Cannot
  // write", the console up to the first report). A staged table that has gone is written.
  struct Case {
    const char* at_log;  // "", "dir" or "link"
    bool failed;
    Flow flow;
    const char* console;
    std::set<std::string> names;
  };
  const std::set<std::string> tables = {"g.MAG.out", "g.SPC.out", "g.mag.ecsv"};
  auto with = [&](std::set<std::string> more) {
    more.insert(tables.begin(), tables.end());
    return more;
  };
  const Case cases[] = {{"", false, Flow::go_on, "first\nsecond\n", tables},
                        {"", true, Flow::go_on, "first\nsecond\n", with({"g.LOG"})},
                        {"link", true, Flow::go_on, "first\nsecond\n", with({"g.LOG", "target"})},
                        {"dir", false, Flow::stop, "first\n    ... ERROR -> Cannot write DIR/g.LOG\n", {"g.LOG"}}};
  for (const Case& c : cases) {
    vtest::TempDir dir;
    TemporaryFiles temps;
    const GalaxyFiles files{dir / "g", dir / "g.LOG", dir / "g.MAG.out", dir / "g.SPC.out", dir / "g.mag.ecsv", ""};
    GalaxyOutcome o;
    o.processed = o.tables.mag = o.tables.spc = true;
    o.tables.mag_text = "magnitudes\n";
    o.tables.spc_text = "spectra\n";
    o.tables.mag_ecsv = "# %ECSV 1.0\n";
    o.console = "first\nsecond\n";
    Console capture = Console::capture();
    o.log = ProblemLog(&capture);
    capture.text("first\n");
    o.log.report(LogMode::append, {"    a report"});
    if (c.failed) o.status.fail({});
    StagedTables staged = stage_tables(o, files, temps);
    EXPECT_EQ(staged.tmp[3], "");  // no spectrum ECSV asked for
    fs::remove(staged.tmp[1]);
    if (std::string(c.at_log) == "dir") fs::create_directory(files.log);
    if (std::string(c.at_log) == "link") fs::create_symlink(dir / "target", files.log);
    Console console = Console::capture();
    EXPECT_EQ(commit_galaxy(o, files, console, &staged), c.flow) << c.at_log;
    std::string said = console.captured();
    if (const std::size_t at = said.find(dir.str()); at != std::string::npos) said.replace(at, dir.str().size(), "DIR");
    EXPECT_EQ(said, c.console) << c.at_log;
    discard_staged(staged);  // as the model loop does after a commit
    EXPECT_EQ(names_in(dir), c.names) << c.at_log;
    EXPECT_EQ(vtest::exists(files.spc) && vtest::read_file(files.spc) == o.tables.spc_text, c.flow == Flow::go_on);
    EXPECT_EQ(vtest::exists(files.log) && vtest::read_file(files.log).find("    a report\n") != std::string::npos,
              c.failed);
  }
}

}  // namespace
}  // namespace veltrane
