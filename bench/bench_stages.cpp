// One galaxy of the survey workload, stage by stage: the fit result read, the computation
// (base and filter set from a warm input cache, or read from the files as a run without the
// cache would), the tables formatted, the files written, and the whole galaxy. Run it in a workload made by
// bench/survey/make_survey.py:
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
#include "driver/process.h"
#include "driver/state.h"
#include "galaxy/compute.h"
#include "galaxy/load.h"
#include "support/console.h"
#include "support/limits.h"
#include "support/report.h"
#include "tables/tables.h"
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
    if (read_run_parameters(*grid, "grid.in", true, p)) return;
    p.t_cut = p.t_cutGyr * 1.0E9f;
    std::string name;
    if (read_galaxy_record(*grid, "grid.in", name, job.distance)) return;
    job.name = name;
    const std::string galaxy = textio::used_part(name);
    job.files.arq_synt = textio::used_part(p.path_DIR) + galaxy;
    std::string templ = (fs::temp_directory_path() / "veltrane-stages-XXXXXX").string();
    out_dir = ::mkdtemp(templ.data());
    const std::string out = (out_dir / galaxy).string();
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

// A worker that has processed the galaxy once, and the cache that load left warm (trusting:
// --fixed-inputs, the inputs not looked at again).
struct Warm {
  explicit Warm(bool trust = false) : cache(true, trust) {
    options.fixed_inputs = trust;
    process_galaxy(workload().p, options, workload().job, *w, cache, Carried{}, outcome);
  }
  InputCache cache;
  Options options;
  std::unique_ptr<Worker> w = make_worker(workload().p, options);
  GalaxyOutcome outcome;
};

void BM_ReadResult(benchmark::State& state) {
  if (!ready(state)) return;
  auto g = std::make_unique<Galaxy>();
  for (auto _ : state) {
    CapturedReport report;
    Read_Out_KW(report.context, workload().job.files.arq_synt, workload().p.Phyunits, g->fit);
    if (report.status.failed()) state.SkipWithError("result not read");
  }
}
BENCHMARK(BM_ReadResult)->Unit(benchmark::kMillisecond);

// state.range(0): 1 = base and filter set from the warm cache, 2 = from the warm cache that
// trusts them (--fixed-inputs), 0 = read from the files.
void BM_LoadAndCompute(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm(state.range(0) == 2);
  InputCache cold(false);
  InputCache& cache = state.range(0) >= 1 ? warm.cache : cold;
  for (auto _ : state) {
    CapturedReport report;
    InputCache::Session session(cache);
    Galaxy& g = warm.w->galaxy;
    load_galaxy(report.context, warm.w->settings, workload().job.files.arq_synt, session, warm.outcome.after, g);
    compute_galaxy(report.context, warm.w->settings, session, g);
    if (report.status.failed()) state.SkipWithError("galaxy not computed");
  }
  const char* labels[] = {"inputs read from the files", "inputs from the cache", "inputs from the trusting cache"};
  state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(BM_LoadAndCompute)->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

// The tables formatted into the same texts again, as a run formats them.
void BM_FormatTables(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm;
  const GalaxyJob& job = workload().job;
  TableTexts out;
  for (auto _ : state) {
    Console console = Console::capture();
    format_tables(console, workload().p.PrintFil, false, warm.w->galaxy, {job.name, job.files.arq_synt, job.distance},
                  out);
    benchmark::DoNotOptimize(out.spc_text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(warm.outcome.tables.mag_text.size() +
                                                                         warm.outcome.tables.spc_text.size()));
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

// The whole galaxy, its outcome refilled as a run refills it; state.range(0) = 1: the
// trusting cache (--fixed-inputs).
void BM_WholeGalaxy(benchmark::State& state) {
  if (!ready(state)) return;
  Warm warm(state.range(0) == 1);
  GalaxyOutcome o;
  for (auto _ : state) {
    process_galaxy(workload().p, warm.options, workload().job, *warm.w, warm.cache, warm.outcome.after, o);
    Console console = Console::capture();
    if (commit_galaxy(o, workload().job.files, console) == Flow::stop) state.SkipWithError("not written");
  }
  state.SetLabel(state.range(0) == 1 ? "trusting cache" : "");
}
BENCHMARK(BM_WholeGalaxy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
