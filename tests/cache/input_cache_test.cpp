// The input cache: a file is parsed once and again when its identity changes (or always,
// with nothing kept); a filter set taken from the cache replays the load it stands for
// (console lines, status, saved bracket); a load that stops the run is not kept. The inputs
// are those of the golden cases, copied to a scratch directory and changed there.
#include "cache/input_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#include "numerics/interpolation.h"
#include "test_util.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

struct Scratch {
  vtest::TempDir dir;
  Scratch() { fs::copy(fs::path(VELTRANE_TEST_DATA) / "cases/_shared", dir.path(), fs::copy_options::recursive); }
  std::string operator/(const std::string& name) const { return dir / name; }
};

void append(const std::string& path, const std::string& text) {
  vtest::write_file(path, vtest::read_file(path) + text);
}

TEST(InputCache, AFileIsParsedAgainWhenItsIdentityChanges) {
  using Change = std::function<void(const std::string&)>;
  const auto later = [](const std::string& p) {
    fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(10));
  };
  const struct {
    const char* what;
    Change change;
    bool again;
  } cases[] = {{"nothing", [](const std::string&) {}, false},
               {"a point appended", [](const std::string& p) { append(p, "9999 1.0\n"); }, true},
               {"a newer time only", later, true},
               {"replaced by a rename",
                [](const std::string& p) {
                  vtest::write_file(p + ".new", vtest::read_file(p) + "9999 1.0\n");
                  fs::rename(p + ".new", p);
                },
                true},
               {"removed", [](const std::string& p) { fs::remove(p); }, true}};
  for (bool keep : {true, false}) {
    for (const auto& c : cases) {
      Scratch s;
      InputCache cache(keep);
      const std::string path = s / "base/ssp_y.txt";
      const auto first = InputCache::Session(cache).ssp_file(path);
      c.change(path);
      InputCache::Session session(cache);
      const auto second = session.ssp_file(path);
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(second == first, keep && !c.again) << c.what << (keep ? "" : ", nothing kept");
      ASSERT_EQ(session.read().size(), 1u);
      EXPECT_EQ(session.read()[0].second, identity_of(path)) << c.what;
      if (!fs::exists(path)) {
        EXPECT_EQ(second, nullptr);
      } else {
        const std::size_t more = vtest::read_file(path).find("9999 1.0") != std::string::npos;
        EXPECT_EQ(second->lambda.size(), first->lambda.size() + more) << c.what;
      }
    }
  }
}

// A filter set whose fourth filter steps back: its calibration reports failed integrations
// on the console and fails the model, on every load.
struct FailingFilters : Scratch {
  FailingFilters() {
    append(*this / "filters/ListFilters.txt", "Down.dat\n");
    std::string down;
    for (int h = 1; h <= 15; ++h) down += "# header " + std::to_string(h) + "\n";
    vtest::write_file(*this / "filters/Down.dat", down + "4000 1\n5000 1\n4500 1\n6000 1\n");
    std::string list = vtest::read_file(*this / "filters/ListFilters.txt");
    list[0] = '4';
    vtest::write_file(*this / "filters/ListFilters.txt", list);
  }
};

// One cache for both verbosities: a load kept for one is not the other's (its listing differs).
TEST(InputCache, AFilterSetFromTheCacheReplaysItsLoad) {
  FailingFilters s;
  const std::string dir = s / "filters/";
  InputCache cache;
  for (Verbosity v : {Verbosity::listing, Verbosity::quiet}) {
    InputCache nothing_kept(false);
    CapturedReport load(v), hit(v), again(v);
    set_saved_bracket(77);
    const auto first = InputCache::Session(cache).filters(load.context, dir, Rule::T);
    const int bracket = saved_bracket();
    ASSERT_EQ(first->flow, Flow::go_on);
    ASSERT_NE(load.console.captured().find("[IntegralALL] λ is not in increasing @"), std::string::npos);
    EXPECT_EQ(load.console.captured().find("[ReadFilters]") != std::string::npos, v == Verbosity::listing);

    set_saved_bracket(5);
    InputCache::Session session(cache);
    const auto second = session.filters(hit.context, dir, Rule::T);
    EXPECT_EQ(second->set, first->set);
    EXPECT_EQ(hit.console.captured(), load.console.captured());
    EXPECT_TRUE(hit.status.failed());
    EXPECT_EQ(saved_bracket(), bracket);
    EXPECT_EQ(session.read().size(), 8u);  // three standard spectra, the list, four filters
    // Listed over the list of a galaxy before, longer or shorter: this galaxy's files only.
    for (const std::size_t before : {12u, 3u}) {
      InputCache::Session over(cache);
      over.reuse(InputRecord(before, {"an/earlier/galaxy's/input/file/with/a/long/path", FileIdentity{}}));
      over.filters(hit.context, dir, Rule::T);
      const InputRecord listed = over.take_read();
      ASSERT_EQ(listed.size(), 8u) << before;
      EXPECT_TRUE(std::equal(listed.begin(), listed.end(), session.read().begin())) << before;
    }

    // Read again from the files, it says and leaves the same.
    set_saved_bracket(5);
    const auto third = InputCache::Session(nothing_kept).filters(again.context, dir, Rule::T);
    EXPECT_NE(third->set, first->set);
    EXPECT_EQ(again.console.captured(), load.console.captured());
    EXPECT_TRUE(again.status.failed());
    EXPECT_EQ(saved_bracket(), bracket);
  }
  set_saved_bracket(1);
}

TEST(InputCache, AChangedFilterFileIsReadAgainAndAStopIsNotKept) {
  Scratch s;
  const std::string dir = s / "filters/";
  InputCache cache;
  CapturedReport load, changed, stopped, after;
  const auto first = InputCache::Session(cache).filters(load.context, dir, Rule::T);
  append(s / "filters/WideRed.dat", "20000 0.5\n");
  const auto second = InputCache::Session(cache).filters(changed.context, dir, Rule::T);
  ASSERT_NE(second->set, first->set);
  EXPECT_EQ(second->set->Npt_fil[2], first->set->Npt_fil[2] + 1);

  fs::rename(s / "filters/VegaLR.dat", s / "VegaLR.dat");
  EXPECT_EQ(InputCache::Session(cache).filters(stopped.context, dir, Rule::T)->flow, Flow::stop);
  EXPECT_TRUE(stopped.status.failed());
  EXPECT_NE(stopped.console.captured().find("NO SPECTRUM READ"), std::string::npos);
  fs::rename(s / "VegaLR.dat", s / "filters/VegaLR.dat");
  const auto third = InputCache::Session(cache).filters(after.context, dir, Rule::T);
  EXPECT_EQ(third->flow, Flow::go_on);
  EXPECT_TRUE(after.status.good());
  EXPECT_NE(third->set, nullptr);
}

// The bands of a grid are computed once per tables and filter set, and leave the saved
// bracket alone (the measurement that uses them sets it as its own sweep would).
TEST(InputCache, BandsAreKeptAndLeaveTheSavedBracket) {
  Scratch s;
  InputCache cache;
  CapturedReport report;
  InputCache::Session session(cache);
  const auto set = session.filters(report.context, s / "filters/", Rule::T)->set;
  const auto base = session.base_file(s / "base/Base.txt");
  std::vector<std::shared_ptr<const SspFile>> ssps;
  for (int k = 0; k < base->count; ++k)
    ssps.push_back(session.ssp_file(s / ("base/" + base->records[std::size_t(k)].filebase)));
  const auto tables = session.tables(ssps);
  EXPECT_EQ(session.tables(ssps), tables);
  set_saved_bracket(42);
  const auto bands = session.bands(tables, 301, set);
  EXPECT_EQ(saved_bracket(), 42);
  EXPECT_EQ(session.bands(tables, 301, set), bands);
  EXPECT_NE(session.bands(tables, 150, set), bands);
  ASSERT_EQ(bands->size(), 3u);
  EXPECT_TRUE((*bands)[0].overlap);
  set_saved_bracket(1);
}

}  // namespace
}  // namespace veltrane
