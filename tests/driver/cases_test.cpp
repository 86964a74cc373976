// Golden process cases: every directory of tests/cases (inputs written by
// tools/make_cases.py) is run in a scratch copy, and its standard output, standard error,
// exit status and every file it wrote, changed or removed are compared byte for byte with
// its expected/ directory. Each case runs five ways that must not differ: as it is, with two
// jobs at once, with every fast path and the input cache off (--literal), and with the inputs
// declared fixed (--fixed-inputs) with one job and two (but for a case whose inputs change
// while it runs).
// VELTRANE_RECORD_CASES=1 writes expected/ (from the plain runs) instead of comparing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;  // relative path -> content

const fs::path kCases = fs::path(VELTRANE_TEST_DATA) / "cases";
const char* const kNotInputs[] = {"expected", "cmd", "about", "inputs_change"};

Tree snapshot(const fs::path& root) {
  Tree t;
  if (!fs::exists(root)) return t;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) t[fs::relative(e.path(), root).string()] = vtest::read_file(e.path().string());
  return t;
}

void copy_inputs(const fs::path& from, const fs::path& to) {
  if (!fs::exists(from)) return;
  for (const auto& e : fs::directory_iterator(from)) {
    const std::string name = e.path().filename().string();
    if (std::find(std::begin(kNotInputs), std::end(kNotInputs), name) == std::end(kNotInputs))
      fs::copy(e.path(), to / name, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
}

// Empty when equal; otherwise the first line that differs, both ways.
std::string first_difference(const std::string& want, const std::string& got) {
  if (want == got) return "";
  std::size_t line = 1, start = 0;
  while (true) {
    const std::size_t we = want.find('\n', start), ge = got.find('\n', start);
    const std::string w = want.substr(start, we == std::string::npos ? std::string::npos : we - start);
    const std::string g = got.substr(start, ge == std::string::npos ? std::string::npos : ge - start);
    if (w != g || we != ge)
      return "line " + std::to_string(line) + "\n  expected: [" + w + "]\n  actual:   [" + g + "]";
    start = we + 1;
    ++line;
  }
}

class Cases : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(Cases, MatchExpectedOutputs) {
  const auto& [name, options] = GetParam();
  const fs::path dir = kCases / name;
  // A case that changes its inputs while the run lasts breaks what --fixed-inputs declares.
  if (options.find("--fixed-inputs") != std::string::npos && fs::exists(dir / "inputs_change"))
    GTEST_SKIP() << "its inputs change during the run";
  vtest::TempDir work, io;
  // $VELTRANE: the binary, with this run's options before the case's own arguments.
  vtest::write_file(io / "veltrane",
                    "#!/bin/sh\nexec " + vtest::shell_quote(VELTRANE_BINARY) + " " + options + " \"$@\"\n");
  fs::permissions(io / "veltrane", fs::perms::owner_all);
  copy_inputs(kCases / "_shared", work.path());
  copy_inputs(dir, work.path());
  const Tree before = snapshot(work.path());
  const std::string cmd =
      fs::exists(dir / "cmd") ? vtest::read_file((dir / "cmd").string()) : "\"$VELTRANE\" grid.in\n";
  vtest::write_file(io / "cmd", cmd);
  const std::string line = "cd " + vtest::shell_quote(work.str()) +
                           " && VELTRANE=" + vtest::shell_quote(io / "veltrane") + " sh " +
                           vtest::shell_quote(io / "cmd") + " </dev/null >" + vtest::shell_quote(io / "out") + " 2>" +
                           vtest::shell_quote(io / "err");
  const int rc = std::system(line.c_str());
  Tree got = {{"stdout", vtest::read_file(io / "out")},
              {"status", std::to_string(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1) + "\n"}};
  if (const std::string err = vtest::read_file(io / "err"); !err.empty()) got["stderr"] = err;
  std::string gone;
  const Tree after = snapshot(work.path());
  for (const auto& [rel, text] : after) {
    const auto in = before.find(rel);
    if (in == before.end() || in->second != text) got["files/" + rel] = vtest::mask_dates(text);
  }
  for (const auto& [rel, text] : before)
    if (!after.count(rel)) gone += rel + "\n";
  if (!gone.empty()) got["gone"] = gone;

  if (std::getenv("VELTRANE_RECORD_CASES") != nullptr) {
    if (!options.empty()) GTEST_SKIP() << "recorded from the plain run";
    fs::remove_all(dir / "expected");
    for (const auto& [rel, text] : got) vtest::write_file((dir / "expected" / rel).string(), text);
    GTEST_SKIP() << "recorded";
  }
  const Tree want = snapshot(dir / "expected");
  for (const auto& [rel, text] : want) {
    const auto g = got.find(rel);
    if (g == got.end()) ADD_FAILURE() << rel << ": not produced";
    else if (const std::string d = first_difference(text, g->second); !d.empty()) ADD_FAILURE() << rel << ": " << d;
  }
  for (const auto& [rel, text] : got)
    if (!want.count(rel)) ADD_FAILURE() << rel << ": not expected\n" << text.substr(0, 2000);
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kCases))
    if (e.is_directory() && e.path().filename().string()[0] != '_') names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The ways every case runs (the name is the test's suffix); VELTRANE_CASE_MODES (e.g.
// "plain j2") keeps some of them.
const std::pair<std::string, std::string> kModes[] = {{"plain", ""},
                                                      {"j2", "-j 2"},
                                                      {"literal", "--literal"},
                                                      {"fixed", "--fixed-inputs"},
                                                      {"fixed_j2", "-j 2 --fixed-inputs"}};

std::vector<std::string> modes() {
  const char* env = std::getenv("VELTRANE_CASE_MODES");
  const std::string only = env ? " " + std::string(env) + " " : "";
  std::vector<std::string> all;
  for (const auto& [name, options] : kModes)
    if (only.empty() || only.find(" " + name + " ") != std::string::npos) all.push_back(options);
  return all;
}

std::string mode_suffix(const std::string& options) {
  for (const auto& [name, o] : kModes)
    if (o == options) return name == "plain" ? "" : "_" + name;
  return "_other";
}

INSTANTIATE_TEST_SUITE_P(Golden, Cases, testing::Combine(testing::ValuesIn(case_names()), testing::ValuesIn(modes())),
                         [](const auto& p) { return std::get<0>(p.param) + mode_suffix(std::get<1>(p.param)); });

}  // namespace

namespace {

// The numbers of a table, row by row (".MAG.out": the filter name is skipped).
std::vector<std::vector<double>> numbers(const std::string& case_name, const std::string& file) {
  std::istringstream in(vtest::read_file((kCases / case_name / "expected/files" / file).string()));
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line.substr(file.find("MAG") != std::string::npos ? 14 : 0));
    rows.emplace_back(std::istream_iterator<double>(l), std::istream_iterator<double>());
  }
  return rows;
}

// The recorded outputs obey the physics they stand for, so a re-recording cannot slip in a
// wrong table unnoticed.
TEST(GoldenPhysics, RecordedTablesObeyTheFormulae) {
  // Young + old = total model at every wavelength.
  for (const auto& r : numbers("chain_full_tables", "gal01.SPC.out"))
    ASSERT_NEAR(r.at(6) + r.at(7), r.at(5), 1e-6 * r.at(5));
  // log10 M − log10 L_sun + log10 Phyunits + log10(4π d²), d = 20 Mpc in cm; young 8 % of m3
  // and 10 % of m2, old 92 % and 90 %.
  const double base = -33.582745 - 17.0 + std::log10(20.0 * 20.0 * 12.566371) + 48.97879;
  const double want[] = {8.69897, 9.30103, std::log10(4.0e7), std::log10(2.0e8), std::log10(4.6e8), std::log10(1.8e9)};
  for (const auto& r : numbers("chain_known_masses", "gal01.MAG.out"))
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(r.at(13 + k), want[k] + base, 6e-4) << k;
  // A Vega-shaped model has magnitude 0 in the Vega system in filters inside the base.
  const auto vega = numbers("chain_vega_model", "gal01.MAG.out");
  EXPECT_EQ(vega.at(0).at(5), 0.0);
  EXPECT_EQ(vega.at(1).at(5), 0.0);
  // With A_V = 0 the correction changes nothing; comments in a result file change nothing.
  for (const char* f : {"gal01.MAG.out", "gal01.SPC.out"}) {
    EXPECT_EQ(numbers("chain_zero_av_ext_corr_0", f), numbers("chain_zero_av_ext_corr_1", f)) << f;
    EXPECT_EQ(numbers("chain_full_tables", f), numbers("result_comments", f)) << f;
  }
}

}  // namespace
