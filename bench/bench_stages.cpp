// One galaxy of the survey workload, stage by stage: the fit result read, the rebuild and
// measurement (base and filter set from a warm input cache, or read from the files as a
// run without the cache would), the tables formatted, the files written, and the whole
// model. Run it in a workload made by bench/survey/make_survey.py:
//
//   VELTRANE_SURVEY_DIR=/path/to/workload build-bench/bench_stages
//
// The first galaxy of the grid file is measured; its tables go to a temporary directory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cache/input_cache.h"
#include "driver/parameters.h"
#include "driver/process.h"
#include "driver/state.h"
#include "support/console.h"
#include "support/limits.h"
#include "support/report.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrane;

struct Workload {
  bool ok = false;
  RunParams p;
  GalaxyJob job;
  fs::path out_dir;

  Workload() {
    const char* dir = std::getenv("VELTRANE_SURVEY_DIR");
    if (dir == nullptr || ::chdir(dir) != 0) return;
    auto grid = textio::RecordFile::open("grid.in");
    if (!grid) return;
    Console console = Console::capture();
    try {
      read_parameter_records(console, *grid, true, p);
    } catch (const RunStop&) { return; }
    textio::ListRead r(*grid);
    std::string name;
    if (r.text(name) != textio::ReadStatus::ok || r.real(job.distance) != textio::ReadStatus::ok) return;
    job.name = name;
    const std::string model = textio::used_part(name);
    job.files.arq_synt = textio::used_part(p.path_DIR) + model;
    std::string templ = (fs::temp_directory_path() / "veltrane-stages-XXXXXX").string();
    out_dir = ::mkdtemp(templ.data());
    const std::string out = (out_dir / model).string();
    job.files.log = out + ".LOG";
    job.files.mag = out + ".MAG.out";
    job.files.spc = out + ".SPC.out";
    ok = true;
  }
  ~Workload() {
    std::error_code ec;
    if (!out_dir.empty()) fs::remove_all(out_dir, ec);
  }
};

Workload& workload() {
  static Workload w;
  return w;
}

bool ready(benchmark::State& state) {
  if (workload().ok) return true;
  state.SkipWithError("set VELTRANE_SURVEY_DIR to a workload of bench/survey/make_survey.py");
  return false;
}

// A worker that has processed the galaxy once, and the cache that load left warm.
struct Warm {
  InputCache cache;
  std::unique_ptr<Worker> w = std::make_unique<Worker>();
  GalaxyOutcome outcome;
  Warm() { outcome = process_galaxy(workload().p, workload().job, *w, cache, Carried{}); }
};

void BM_ReadResult(benchmark::State& state) {
  if (!ready(state)) return;
  auto w = std::make_unique<Worker>();
  for (auto _ : state) {
    CapturedReport report;
    Read_Out_KW(report.context, workload().job.files.arq_synt, workload().p.Phyunits, w->fit);
    if (report.status.failed()) state.SkipWithError("result not read");
  }
}
BENCHMARK(BM_ReadResult)->Unit(benchmark::kMillisecond);

// state.range(0): 1 = base and filter set from the warm cache, 0 = read from the files.
void BM_Rebuild(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm;
  InputCache cold(false);
  InputCache& cache = state.range(0) == 1 ? warm.cache : cold;
  for (auto _ : state) {
    CapturedReport report;
    InputCache::Session session(cache);
    GalaxyOutcome out;
    out.after = warm.outcome.after;
    rebuild_model(report.context, workload().p, *warm.w, session, out);
    if (report.status.failed()) state.SkipWithError("model not rebuilt");
  }
  state.SetLabel(state.range(0) == 1 ? "inputs from the cache" : "inputs read from the files");
}
BENCHMARK(BM_Rebuild)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_FormatTables(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm;
  for (auto _ : state) {
    Console console = Console::capture();
    GalaxyOutcome out;
    format_tables(console, workload().p, *warm.w, warm.outcome.after, workload().job, out);
    benchmark::DoNotOptimize(out.spc_text.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(warm.outcome.mag_text.size() + warm.outcome.spc_text.size()));
}
BENCHMARK(BM_FormatTables)->Unit(benchmark::kMillisecond);

void BM_WriteTables(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm;
  for (auto _ : state) {
    Console console = Console::capture();
    if (commit_galaxy(warm.outcome, workload().job.files, console) == Flow::stop) state.SkipWithError("not written");
  }
}
BENCHMARK(BM_WriteTables)->Unit(benchmark::kMillisecond);

void BM_WholeModel(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm;
  for (auto _ : state) {
    GalaxyOutcome o = process_galaxy(workload().p, workload().job, *warm.w, warm.cache, warm.outcome.after);
    Console console = Console::capture();
    if (commit_galaxy(o, workload().job.files, console) == Flow::stop) state.SkipWithError("not written");
  }
}
BENCHMARK(BM_WholeModel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
