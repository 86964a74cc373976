// Reading a full SSP base: 150 SSPs of 6,900 points each, header scan included, first from
// the files (what a model pays when the base is new or changed; the byte rate is the size of
// the base file plus all spectrum files), then from the input cache (what every later model
// pays: identities checked, listing and checks done again, no file parsed).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cache/input_cache.h"
#include "readers/ssp_base.h"
#include "support/limits.h"
#include "support/report.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrane;

constexpr int kSsp = 150;
constexpr int kPoints = 6900;

// A base in a fresh temporary directory, in the layout of the usual SSP libraries:
// a short "#" header, then "lambda flux" with a flux in exponent form.
struct GeneratedBase {
  fs::path dir;
  std::int64_t bytes = 0;

  GeneratedBase() {
    std::string templ = (fs::temp_directory_path() / "veltrane-bench-XXXXXX").string();
    dir = ::mkdtemp(templ.data());
    fs::create_directories(dir / "ssp");
    std::string base = std::to_string(kSsp) + "   [N_base]\n";
    char buf[128];
    for (int k = 0; k < kSsp; ++k) {
      std::snprintf(buf, sizeof buf, "bc03_%03d.spec", k);
      const std::string name = buf;
      std::snprintf(buf, sizeof buf, "%s  %.5e  %.4f  age%03d  0.%04d  0  0.0\n", name.c_str(), 1.0e6 * (1.0 + k),
                    0.0001 * (1 + k % 6), k, 5000 + k);
      base += buf;
      std::string spec = "# Bruzual & Charlot 2003 model\n# lambda[A]   flux[Lsun/A/Msun]\n# padova\n";
      for (int i = 0; i < kPoints; ++i) {
        std::snprintf(buf, sizeof buf, "%9.1f  %.6E\n", 3000.0 + 1.0 * i, 1.0e-5 * (1.0 + k + 1e-3 * i));
        spec += buf;
      }
      write(dir / "ssp" / name, spec);
    }
    write(dir / "Base.txt", base);
  }
  ~GeneratedBase() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
    bytes += static_cast<std::int64_t>(text.size());
  }
};

void BM_ReadBase(benchmark::State& state) {
  static GeneratedBase gen;
  const bool cached = state.range(0) == 1;
  InputCache cache(cached);
  const std::string base_dir = (gen.dir / "ssp").string() + "/";
  for (auto _ : state) {
    CapturedReport report;
    InputCache::Session session(cache);
    const BaseRequest request{(gen.dir / "Base.txt").string(), base_dir, 3700.0f, 6800.0f, 0};
    const BaseRead read = Read_BASpec(report.context, session, request);
    if (report.status.failed() || !read.tables || read.tables->b_lambda[kPoints - 1] <= 0.0f)
      state.SkipWithError("base not read");
    benchmark::DoNotOptimize(read.tables.get());
  }
  if (!cached) state.SetBytesProcessed(state.iterations() * gen.bytes);
  state.SetLabel(cached ? "from the cache" : "from the files");
}
BENCHMARK(BM_ReadBase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
