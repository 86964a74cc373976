// Array resets, the file-existence test and the problem-report record.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "numerics/clean.h"
#include "numerics/common.h"
#include "numerics/console.h"
#include "numerics/file_check.h"
#include "numerics/problem_log.h"
#include "test_util.h"

namespace veltrane {
namespace {

// ----------------------------------------------------------------------- array resets

TEST(CleanAClear, ModeOneIsTheSentinelAnyOtherIsZero) {
  struct Case {
    bool has_flag;
    int mode;
    float expected;
  };
  const Case cases[] = {{false, 0, 0.0f}, {true, 0, 0.0f},  {true, 2, 0.0f},
                        {true, -1, 0.0f}, {true, 1, -999.0f}};
  for (const Case& c : cases) {
    std::vector<float> a{1.5f, -2.0f, 3.0f, 7.0f};
    if (c.has_flag) {
      CleanAClear(a, c.mode);
    } else {
      CleanAClear(a);
    }
    for (float v : a) EXPECT_EQ(v, c.expected) << "mode " << c.mode;
  }
}

TEST(CleanAClear, ResetsOnlyTheSectionItIsGiven) {
  std::array<float, 6> a{1, 2, 3, 4, 5, 6};
  CleanAClear(std::span<float>(a).subspan(2, 3), 1);
  EXPECT_EQ(a, (std::array<float, 6>{1, 2, -999, -999, -999, 6}));
  CleanAClear(std::span<float>(a).subspan(3, 0), 1);  // empty: untouched
  EXPECT_EQ(a, (std::array<float, 6>{1, 2, -999, -999, -999, 6}));
}

TEST(CleanMClear, EveryElementOfTheMatrixToTheSentinel) {
  std::array<float, 6> m{1, 2, 3, 4, 5, 6};  // 3 x 2
  CleanMClear(m);
  for (float v : m) EXPECT_EQ(v, kSentinel);
  CleanMClear(std::span<float>());
}

// ------------------------------------------------------------------------ Ver_Dir_Arc

TEST(VerDirArc, ExistenceWithTrailingBlanksIgnored) {
  vtest::TempDir dir;
  const std::string file = dir / "model.dat";
  vtest::write_file(file, "x\n");
  Console console = Console::capture();
  struct Case {
    std::string name;
    bool exists;
  };
  const Case cases[] = {
      {file, true},
      {file + "      ", true},
      {file + std::string(600 - file.size(), ' '), true},  // a full 600-character text
      {dir / "missing.dat", false},
      {dir / "missing.dat   ", false},
      {"", false},
      {std::string(600, ' '), false},
  };
  for (const Case& c : cases) EXPECT_EQ(Ver_Dir_Arc(console, c.name, 0), c.exists) << "[" << c.name << "]";
  EXPECT_EQ(console.captured(), "");
}

TEST(VerDirArc, VerboseBlockWithTOrF) {
  vtest::TempDir dir;
  const std::string file = dir / "base.txt";
  vtest::write_file(file, "");
  Console console = Console::capture();
  EXPECT_TRUE(Ver_Dir_Arc(console, file + "   ", 1));
  EXPECT_FALSE(Ver_Dir_Arc(console, dir / "nope.txt", 1));
  EXPECT_EQ(console.captured(), "    [Ver_Dir_Arc]\n"
                                "    ... filename: " + file + "\n"
                                "    ... filexist: T\n"
                                "    [Ver_Dir_Arc]\n"
                                "    [Ver_Dir_Arc]\n"
                                "    ... filename: " + (dir / "nope.txt") + "\n"
                                "    ... filexist: F\n"
                                "    [Ver_Dir_Arc]\n");
}

TEST(VerDirArc, SilentForAnyOtherFlag) {
  vtest::TempDir dir;
  Console console = Console::capture();
  for (int flag : {0, 2, -1}) EXPECT_FALSE(Ver_Dir_Arc(console, dir / "nope", flag));
  EXPECT_EQ(console.captured(), "");
}

// --------------------------------------------------------------------- problem report

TEST(DateStamp, IsTheClassicTwentyFourCharacterLayout) {
  // Against the C library's own asctime, taken just before and just after.
  const auto classic = [] {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    asctime_r(&local, buf);
    return std::string(buf, 24);
  };
  const std::string before = classic();
  const std::string stamp = date_stamp();
  const std::string after = classic();
  EXPECT_EQ(stamp.size(), 24u);
  EXPECT_TRUE(stamp == before || stamp == after) << stamp << " / " << before;
  EXPECT_EQ(vtest::mask_dates(stamp), "<DATE>");
}

TEST(ProblemReport, RecordWithVeskDateLine) {
  vtest::TempDir dir;
  const std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
  write_problem_report(console, log, LogMode::append,
                       {indent("[EvalRedTerm] FUNCTION --- CALR_LawOPT"),
                        indent("[EvalRedTerm] l < 1200 Å & l > 22000 Å"),
                        indent("[EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@")});
  const std::string text = vtest::read_file(log);
  EXPECT_EQ(vtest::mask_dates(text),
            "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
            "    [EvalRedTerm] FUNCTION --- CALR_LawOPT\n"
            "    [EvalRedTerm] l < 1200 Å & l > 22000 Å\n"
            "    [EvalRedTerm] q = ZERO @@@@@@@@@@@@@@@\n"
            "    VESK - <DATE>\n");
  // The date line: four blanks, "VESK - " and exactly 24 characters.
  const std::size_t last = text.rfind("    VESK - ");
  ASSERT_NE(last, std::string::npos);
  EXPECT_EQ(text.size() - last, 4 + 7 + 24 + 1u);
  EXPECT_EQ(std::string("[EvalRedTerm] l < 1200 Å & l > 22000 Å").size(), 40u);
  EXPECT_EQ(kProblemHeader.size(), 38u);
  EXPECT_EQ(console.captured(), "");
}

TEST(ProblemReport, BareDateLineOfTheSynthesisReader) {
  vtest::TempDir dir;
  const std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
  write_problem_report(console, log, LogMode::rewrite, {indent("[Read_Out_KW] arqKWsynt contains ERROR")},
                       DateLine::bare);
  const std::string text = vtest::read_file(log);
  EXPECT_EQ(vtest::mask_dates(text),
            "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
            "    [Read_Out_KW] arqKWsynt contains ERROR\n"
            "    <DATE>\n");
  EXPECT_EQ(text.size() - text.rfind('\n', text.size() - 2) - 1, 4 + 24 + 1u);
}

TEST(ProblemReport, AppendingKeepsRewritingReplaces) {
  vtest::TempDir dir;
  const std::string log = dir / "gal01.LOG";
  Console console = Console::capture();
  const std::string one = "    [EvalRedTerm] ... q_Gordon: 0 @@@@@@@@";
  const std::string two = "    [EvalRedTerm] lambda is out of Table 4";
  const std::string report = "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n" + one + "\n" + two +
                             "\n    VESK - <DATE>\n";
  write_problem_report(console, log, LogMode::append, {one, two});
  write_problem_report(console, log, LogMode::append, {one, two});
  EXPECT_EQ(vtest::mask_dates(vtest::read_file(log)), report + report);

  write_problem_report(console, log, LogMode::rewrite, {"    [Read_BASpec] Base File contains ERROR"});
  EXPECT_EQ(vtest::mask_dates(vtest::read_file(log)),
            "    [PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@\n"
            "    [Read_BASpec] Base File contains ERROR\n"
            "    VESK - <DATE>\n");

  // Rewriting a longer log leaves nothing of its old tail.
  vtest::write_file(log, std::string(5000, 'z'));
  write_problem_report(console, log, LogMode::rewrite, {"    [ReadTextBAS] Ilowbase--Iuppbase === 0"});
  EXPECT_EQ(vtest::read_file(log).find('z'), std::string::npos);
}

TEST(ProblemReport, CreatedWhenMissingAndNamedWithTrailingBlanks) {
  vtest::TempDir dir;
  const std::string log = dir / "new.LOG";
  Console console = Console::capture();
  write_problem_report(console, log + "        ", LogMode::append, {"    [X] y"});
  EXPECT_TRUE(vtest::exists(log));
  EXPECT_FALSE(vtest::exists(log + " "));
}

TEST(ProblemReport, UnwritableLogStopsTheRun) {
  vtest::TempDir dir;
  vtest::write_file(dir / "plain", "a file, not a directory\n");
  ::mkdir((dir / "subdir").c_str(), 0755);
  // Paths that cannot be opened for writing, even by root.
  const std::string paths[] = {dir / "plain/gal01.LOG", dir / "no/such/dir/gal01.LOG", dir / "subdir"};
  for (const std::string& path : paths) {
    for (LogMode mode : {LogMode::append, LogMode::rewrite}) {
      Console console = Console::capture();
      try {
        write_problem_report(console, path + "   ", mode, {"    [X] y"});
        ADD_FAILURE() << "no stop for " << path;
      } catch (const RunStop& stop) {
        EXPECT_EQ(stop.status(), 1);
      }
      EXPECT_EQ(console.captured(), "    ... ERROR -> Cannot write " + path + "\n");
    }
  }
}

TEST(ProblemReport, FailedWriteStopsTheRun) {
  if (!vtest::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Console console = Console::capture();
  try {
    write_problem_report(console, "/dev/full", LogMode::append, {"    [X] y"});
    ADD_FAILURE() << "no stop";
  } catch (const RunStop& stop) {
    EXPECT_EQ(stop.status(), 1);
  }
  EXPECT_EQ(console.captured(), "    ... ERROR -> Cannot write /dev/full\n");
}

}  // namespace
}  // namespace veltrane
