// Tables written ahead of their commit: a temporary file is new (never over a name that is
// taken), beside its table, registered until a commit renames it or it is discarded, and
// nothing of it is left after a failure, a discard or the close before an exit. A commit
// whose staged file has gone writes the table itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

#include "driver/model.h"
#include "driver/staging.h"
#include "test_util.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

std::set<std::string> names_in(const vtest::TempDir& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  return names;
}

std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

TEST(Staging, TemporaryFilesAreNewBesideTheirTableAndNeverLeft) {
  vtest::TempDir dir;
  TemporaryFiles temps;
  // The first staging names are taken by a file of another program and a directory.
  const unsigned pid = unsigned(::getpid());
  vtest::write_file(dir / temporary_name(pid, 0), "another program's\n");
  fs::create_directory(dir / temporary_name(pid, 1));

  const auto a = temps.write(dir / "a.MAG.out", "table a\n");
  const auto b = temps.write(dir / "b.MAG.out", "table b\n");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(fs::path(*a).parent_path(), dir.path());
  EXPECT_EQ(name_of(*a), temporary_name(pid, 2));
  EXPECT_EQ(name_of(*b), temporary_name(pid, 3));
  EXPECT_EQ(vtest::read_file(*a), "table a\n");
  EXPECT_EQ(vtest::read_file(dir / temporary_name(pid, 0)), "another program's\n");

  EXPECT_TRUE(temps.rename(*a, dir / "a.MAG.out"));
  EXPECT_EQ(vtest::read_file(dir / "a.MAG.out"), "table a\n");
  temps.discard(*a);  // renamed: no longer ours, whatever takes its name next
  vtest::write_file(*a, "someone else's\n");
  temps.discard(*a);
  EXPECT_TRUE(vtest::exists(*a));
  fs::remove(*a);

  // A rename that fails removes the file; so does a discard, and discard_all the rest.
  fs::create_directory(dir / "b.MAG.out");
  vtest::write_file(dir / "b.MAG.out/keep", "x\n");
  EXPECT_FALSE(temps.rename(*b, dir / "b.MAG.out"));
  EXPECT_FALSE(vtest::exists(*b));
  const auto c = temps.write(dir / "c.SPC.out", "c\n");
  const auto d = temps.write(dir / "d.SPC.out", "d\n");
  ASSERT_TRUE(c && d);
  temps.discard(*c);
  EXPECT_FALSE(vtest::exists(*c));
  temps.discard_all();
  EXPECT_FALSE(vtest::exists(*d));

  // No directory: nothing written, nothing left.
  EXPECT_FALSE(temps.write(dir / "missing/e.MAG.out", "e\n"));

  // Closed before an exit: every file removed, and none made after.
  const auto f = temps.write(dir / "f.MAG.out", "f\n");
  ASSERT_TRUE(f);
  temps.close();
  EXPECT_FALSE(vtest::exists(*f));
  EXPECT_FALSE(temps.write(dir / "g.MAG.out", "g\n"));
  EXPECT_EQ(names_in(dir), (std::set<std::string>{temporary_name(pid, 0), temporary_name(pid, 1),
                                                  "a.MAG.out", "b.MAG.out"}));
}

TEST(Staging, TheCommitRenamesStagedTablesAndWritesThoseItMustItself) {
  vtest::TempDir dir;
  TemporaryFiles temps;
  ModelFiles files{dir / "g", dir / "g.LOG", dir / "g.MAG.out", dir / "g.SPC.out", dir / "g.mag.ecsv", ""};
  ModelOutcome o;
  o.processed = o.mag = o.spc = true;
  o.mag_text = "magnitudes\n";
  o.spc_text = "spectra\n";
  o.mag_ecsv = "# %ECSV 1.0\n";
  // A stop, or a model skipped before it read anything, stages nothing.
  for (auto change : {+[](ModelOutcome& m) { m.flow = Flow::stop; }, +[](ModelOutcome& m) { m.processed = false; }}) {
    ModelOutcome none = o;
    change(none);
    const StagedTables s = stage_tables(none, files, temps);
    for (const std::string& tmp : s.tmp) EXPECT_EQ(tmp, "");
  }
  StagedTables staged = stage_tables(o, files, temps);
  EXPECT_NE(staged.tmp[0], "");
  EXPECT_NE(staged.tmp[1], "");
  EXPECT_NE(staged.tmp[2], "");
  EXPECT_EQ(staged.tmp[3], "");  // no spectrum ECSV asked for
  fs::remove(staged.tmp[1]);     // gone before its commit: the commit writes it
  Console console = Console::capture();
  EXPECT_EQ(commit_model(o, files, console, &staged), Flow::go_on);
  for (const std::string& tmp : staged.tmp) EXPECT_EQ(tmp, "");
  EXPECT_EQ(vtest::read_file(files.mag), o.mag_text);
  EXPECT_EQ(vtest::read_file(files.spc), o.spc_text);
  EXPECT_EQ(vtest::read_file(files.mag_ecsv), o.mag_ecsv);
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"g.MAG.out", "g.SPC.out", "g.mag.ecsv"}));
  EXPECT_EQ(console.captured(), "");
}

TEST(Staging, ALogWrittenAheadTakesItsPlaceOnlyWhereNothingIs) {
  // A good model's log is moved into place and removed by the end-of-model rule; a failed
  // one's stays. Where something sits at the log path (a directory, a dangling link) the
  // commit writes the log as a single thread would: the link's target is created, the
  // directory cannot be written ("Cannot write", the console up to the first report).
  struct Case {
    const char* at_log;  // "", "dir" or "link"
    bool failed;
    Flow flow;
    const char* console;
    std::set<std::string> names;
  };
  const Case cases[] = {
      {"", false, Flow::go_on, "first\nsecond\n", {"g.MAG.out"}},
      {"", true, Flow::go_on, "first\nsecond\n", {"g.LOG", "g.MAG.out"}},
      {"link", true, Flow::go_on, "first\nsecond\n", {"g.LOG", "g.MAG.out", "target"}},
      {"dir", false, Flow::stop, "first\n    ... ERROR -> Cannot write DIR/g.LOG\n", {"g.LOG"}}};
  for (const Case& c : cases) {
    vtest::TempDir dir;
    TemporaryFiles temps;
    const ModelFiles files{dir / "g", dir / "g.LOG", dir / "g.MAG.out", dir / "g.SPC.out", "", ""};
    ModelOutcome o;
    o.processed = o.mag = true;
    o.mag_text = "magnitudes\n";
    o.console = "first\nsecond\n";
    Console capture = Console::capture();
    o.log = ProblemLog(&capture);
    capture.text("first\n");
    o.log.report(LogMode::append, {"    a report"});
    if (c.failed) o.status.fail();
    StagedTables staged = stage_tables(o, files, temps);
    ASSERT_NE(staged.tmp[StagedTables::kLog], "");
    if (std::string(c.at_log) == "dir") fs::create_directory(files.log);
    if (std::string(c.at_log) == "link") fs::create_symlink(dir / "target", files.log);
    Console console = Console::capture();
    EXPECT_EQ(commit_model(o, files, console, &staged), c.flow) << c.at_log;
    std::string said = console.captured();
    if (const std::size_t at = said.find(dir.str()); at != std::string::npos) said.replace(at, dir.str().size(), "DIR");
    EXPECT_EQ(said, c.console) << c.at_log;
    if (c.failed) {
      EXPECT_NE(vtest::read_file(files.log).find("    a report\n"), std::string::npos);
    }
    discard_staged(staged);  // as the model loop does after a commit
    EXPECT_EQ(names_in(dir), c.names) << c.at_log;
  }
}

}  // namespace
}  // namespace veltrane
