// The support layer on its own: the console and standard error byte for byte, the problem
// log's reports and what the log file holds after them, the existence test and its listing,
// the array resets, the verbosity codes and a failed model's status.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "support/array_reset.h"
#include "support/diagnostics.h"
#include "support/file_check.h"
#include "support/report.h"
#include "support/run_stop.h"
#include "test_util.h"

namespace veltrane {
namespace {

// What a stream received, read back from its temporary file.
std::string written(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s.push_back(char(c));
  std::fclose(f);
  return s;
}

TEST(Support, ConsoleAndStandardErrorWriteWhatTheyAreGiven) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Console file(out), captured = Console::capture();
  for (Console* c : {&file, &captured}) {
    c->line("a");
    c->say("b");
    c->text("c\nd");
    c->line("");
    c->flush();
  }
  EXPECT_EQ(captured.captured(), "a\n    b\nc\nd\n");
  EXPECT_EQ(written(out), captured.captured());
  captured.clear();
  EXPECT_EQ(captured.captured(), "");
  Diagnostics d(err);
  d.warn("x.dat record 3: no number");
  d.write("\r50%");
  EXPECT_EQ(written(err), "veltrane: x.dat record 3: no number\n\r50%");
}

TEST(Support, ProblemLogKeepsReportsInOrderAndWhatTheFileHolds) {
  // The local time as strftime writes it, read before and after the stamp was made.
  const auto now = [] {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    return std::string(buf, std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &local));
  };
  const std::string before = now(), stamp = date_stamp(), after = now();
  EXPECT_TRUE(stamp == before || stamp == after) << stamp << " / " << before;

  CapturedReport r;
  r.console.line("12345");
  r.log.report(LogMode::append, {"    one"});
  r.log.detach();
  r.log.report(LogMode::rewrite, std::vector<std::string>{"two", "three"}, DateLine::bare);
  r.log.report(LogMode::append, {});
  ASSERT_EQ(r.log.reports().size(), 3u);
  const std::string h = "    " + std::string(kProblemHeader) + "\n";
  EXPECT_EQ(vtest::mask_dates(r.log.text(r.log.reports()[0])), h + "    one\n    VESK - <DATE>\n");
  EXPECT_EQ(vtest::mask_dates(r.log.text(r.log.reports()[1])), h + "two\nthree\n    <DATE>\n");
  EXPECT_EQ(r.log.reports()[0].console_at, 6u);
  EXPECT_EQ(r.log.reports()[1].console_at, 0u) << "detached";
  // A rewriting report replaces what came before it; appending ones add to it.
  const ProblemLog::Content c = r.log.content();
  EXPECT_TRUE(c.rewrite);
  EXPECT_EQ(c.text, std::string(r.log.text(r.log.reports()[1])) + std::string(r.log.text(r.log.reports()[2])));
  ProblemLog appended;
  appended.report(LogMode::append, {"x"});
  EXPECT_FALSE(appended.content().rewrite);
  EXPECT_EQ(appended.content().text, appended.text(appended.reports()[0]));
  // Restarted for another galaxy, it holds that galaxy's reports only.
  appended.restart(nullptr);
  EXPECT_TRUE(appended.empty() && appended.content().text.empty());
  appended.report(LogMode::rewrite, {"y"});
  EXPECT_EQ(vtest::mask_dates(appended.content().text), h + "y\n    VESK - <DATE>\n");
  EXPECT_TRUE(ProblemLog().empty() && ProblemLog().content().text.empty());
}

TEST(Support, FileExistenceAndItsListing) {
  vtest::TempDir dir;
  vtest::write_file(dir / "a.dat", "");
  const struct {
    std::string name;
    bool exists;
  } cases[] = {{dir / "a.dat", true},  {dir / "a.dat   ", true}, {" " + (dir / "a.dat"), false},
               {dir / "b.dat", false}, {dir.str(), true},        {"", false},
               {"   ", false},         {dir / "a.dat/x", false}};
  for (const auto& c : cases) EXPECT_EQ(file_exists(c.name), c.exists) << "[" << c.name << "]";
  Console con = Console::capture();
  list_existence(con, "  base/x.dat  ", true);
  list_existence(con, "y", false);
  EXPECT_EQ(con.captured(),
            "    [Ver_Dir_Arc]\n    ... filename: base/x.dat\n    ... filexist: T\n    [Ver_Dir_Arc]\n"
            "    [Ver_Dir_Arc]\n    ... filename: y\n    ... filexist: F\n    [Ver_Dir_Arc]\n");
}

TEST(Support, ResetsTouchTheirSpanOnly) {
  std::vector<float> a = {1, 2, 3, 4, 5};
  reset_to_zero(std::span<float>(a).subspan(1, 2));
  EXPECT_EQ(a, (std::vector<float>{1, 0, 0, 4, 5}));
  reset_to_sentinel(std::span<float>(a).subspan(2, 3));
  EXPECT_EQ(a, (std::vector<float>{1, 0, -999, -999, -999}));
  reset_to_zero({});
}

TEST(Support, VerbosityCodesAndFailedGalaxies) {
  const std::pair<int, Verbosity> codes[] = {{0, Verbosity::echo},  {1, Verbosity::listing}, {5, Verbosity::points},
                                             {2, Verbosity::quiet}, {-1, Verbosity::quiet},  {4, Verbosity::quiet}};
  for (const auto& [code, v] : codes) EXPECT_EQ(verbosity_of(code), v) << code;
  CapturedReport r(Verbosity::listing);
  EXPECT_TRUE(r.context.listing() && !r.context.failed());
  r.context.note({"a.dat", 3, 0, "a note", {"    noted"}});
  EXPECT_FALSE(r.context.failed());
  r.context.subject = "gal01";
  r.context.console_problem("no base", "the first reason");
  r.context.fail({"b.dat", 7, 2, "a later reason", {}});
  EXPECT_TRUE(r.context.failed() && r.status.failed() && !r.status.good());
  EXPECT_EQ(r.console.captured(), "    noted\n    " + std::string(kProblemHeader) + "\n    no base\n");
  // Every problem kept in order; the first that failed the galaxy is its cause.
  ASSERT_EQ(r.problems.size(), 3u);
  EXPECT_EQ(r.status.cause().where_and_why(), "gal01: the first reason");
  EXPECT_EQ(r.problems[2].where_and_why(), "b.dat record 7, item 2: a later reason");
  EXPECT_EQ(r.problems[0].where_and_why(), "a.dat record 3: a note");
  EXPECT_EQ((Problem{"", 0, 0, "alone", {}}).where_and_why(), "alone");
  EXPECT_EQ(quoted_record(std::string(70, 'x'), 60), "'" + std::string(60, 'x') + "...'");
  EXPECT_FALSE(CapturedReport(Verbosity::points).context.listing());
  EXPECT_EQ(RunStop(3).status(), 3);
}

}  // namespace
}  // namespace veltrane
