#include "driver/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "driver/staging.h"
#include "support/file_check.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// `text` written to `path` from its start (append false: the file is truncated) or after what
// it holds, created if need be, in one write; every step checked, errno saying why one failed.
bool write_file(const std::string& path, std::string_view text, bool append) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) done += std::size_t(n);
    else ok = n < 0 && errno == EINTR;
  }
  const int why = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok && why != 0) errno = why;
  return ok;
}

// A file the commit cannot write or remove: the console's line, and why for standard error
// (by default, the system's reason for the call that failed).
Flow cannot_write(Console& out, const std::string& path, Problem& why, std::string reason = {}) {
  if (reason.empty()) reason = "cannot be written: " + system_reason();
  why = {std::string(textio::adjust_trim(path)), 0, 0, std::move(reason), {}};
  out.say("... ERROR -> Cannot write " + std::string(textio::adjust_trim(path)));
  return Flow::stop;
}

// The end-of-galaxy rule: only failed galaxies keep a log; one that failed without writing any
// gets a short report.
Flow settle_log(const GalaxyOutcome& o, const GalaxyFiles& files, Console& out, Problem& why) {
  struct stat st {};
  const bool exists = ::stat(files.log.c_str(), &st) == 0;  // one look: what is there, and its kind
  if (o.status.good() && exists) {
    // Nothing but a regular file of its own is ever removed: a directory cannot be.
    if (!S_ISREG(st.st_mode))
      return cannot_write(out, files.log, why, "the galaxy's log cannot be removed: it is not a regular file");
    if (std::remove(files.log.c_str()) != 0)
      return cannot_write(out, files.log, why, "the galaxy's log cannot be removed: " + system_reason());
  } else if (o.status.failed() && !exists) {
    if (!write_file(files.log, end_of_galaxy_report().content().text, true)) return cannot_write(out, files.log, why);
  }
  return Flow::go_on;
}

// The log written ahead, renamed to its place where nothing is (the old log was removed when
// the galaxy started, and a new file is what writing it would make there); false where it
// must be written as without workers.
bool rename_staged_log(StagedTables* staged, const std::string& log) {
  const std::string tmp = staged ? std::exchange(staged->tmp[StagedTables::kLog], "") : "";
  if (tmp.empty()) return false;
  struct stat st {};
  if (::lstat(log.c_str(), &st) == 0 || errno != ENOENT) {
    staged->temps->discard(tmp);
    return false;
  }
  return staged->temps->rename(tmp, log);
}

}  // namespace

void catalog_values(const Galaxy& g, bool spectra, CatalogValues& out) {
  const auto head = [](const std::vector<float>& v, int n, std::vector<float>& into) {
    into.assign(v.begin(), v.begin() + std::clamp(n, 0, int(v.size())));
  };
  out.fit_read = g.fit_read;
  out.A_V = g.fit_read ? g.fit.A_V : 0.0f;
  out.law.assign(g.fit_read ? textio::trim_right(g.fit.R_LawOPT) : std::string_view());
  out.measured = g.rebuilt;
  out.log_mass = g.rebuilt ? g.log_mass : std::array<float, 6>{};
  out.magnitudes.clear();
  for (std::vector<float>* v : {&out.coverage, &out.coverage_positive, &out.lambda, &out.total, &out.young, &out.old})
    v->clear();
  if (!g.rebuilt) return;
  const int nf = std::clamp(g.tables.filters->Nfilters, 0, kMaxFilters);
  out.magnitudes.reserve(std::size_t(kNumSlots) * kNumSystems * std::size_t(nf));
  for (int slot = 0; slot < kNumSlots; ++slot)
    for (int system = 0; system < kNumSystems; ++system)
      for (int k = 0; k < nf; ++k) out.magnitudes.push_back(g.mags.at(k, system, slot));
  head(g.filter_results.filt_res_a, nf, out.coverage);
  head(g.filter_results.filt_res_b, nf, out.coverage_positive);
  if (!spectra) return;
  const ModelSpectra& s = g.spectra;
  head(g.tables.base->b_lambda, s.N_lb, out.lambda);
  head(s.allssp_f, s.N_lb, out.total);
  head(s.youssp_f, s.N_lb, out.young);
  head(s.oldssp_f, s.N_lb, out.old);
}

CatalogValues catalog_values(const Galaxy& g, bool spectra) {
  CatalogValues out;
  catalog_values(g, spectra, out);
  return out;
}

std::unique_ptr<Worker> make_worker(const RunParams& p, const Options& options) {
  auto w = std::make_unique<Worker>();
  w->settings = {p.base_SSP, p.fil_dir, p.t_cut, p.Phyunits, p.Ext_Corr, options.literal};
  return w;
}

void process_galaxy(const RunParams& p, const Options& options, const GalaxyJob& job, Worker& w, InputCache& cache,
                    const Carried& before, GalaxyOutcome& out) {
  // What the outcome held is dropped; its buffers (texts, tables, values) are kept.
  out.console.clear();
  out.log.restart(nullptr);
  out.tables.mag = out.tables.spc = false;
  out.status = GalaxyStatus();
  out.warnings.clear();
  out.flow = Flow::go_on;
  out.stop = Problem();
  out.processed = out.fit_read = out.base_replaced = out.filters_replaced = false;
  out.after = before;
  InputRecord listed = std::move(out.inputs);  // its strings' storage, for the session's list
  out.inputs.clear();
  out.catalog.fit_read = out.catalog.measured = false;
  Console console = Console::capture();
  const Verbosity verbosity = verbosity_of(p.Fverbose);
  const GalaxyLabel label{job.name, job.files.arq_synt, job.distance};
  say_galaxy_header(console, label, verbosity);
  if (job.too_long) {
    // Cut names would collide: the log or a table could replace the result file itself.
    console.say("... VT__WARN: File name too long, model skipped");  // verbatim
    out.console = console.take();
    return;
  }
  out.processed = true;
  ProblemLog log = std::move(out.log);  // its buffers
  log.restart(&console);
  std::vector<Problem> problems;
  ReportContext report{console, log, out.status, verbosity, &problems};
  // The files a galaxy read are recorded only where a commit checks them (with workers).
  InputCache::Session session(cache, /*record=*/options.jobs > 1);
  session.reuse(std::move(listed));
  Galaxy& g = w.galaxy;
  out.flow = rebuild_galaxy(report, w.settings, job.files.arq_synt, job.distance, session, before, g);
  if (out.flow == Flow::stop && !problems.empty()) out.stop = std::move(problems.back());
  out.fit_read = g.fit_read;
  out.base_replaced = g.base_replaced;
  out.filters_replaced = g.filters_replaced;
  out.after = g.tables;
  out.warnings.assign(g.warnings.begin(), g.warnings.end());
  if (g.rebuilt) format_tables(console, p.PrintFil, options.ecsv, g, label, out.tables, options.literal);
  if (!options.catalog.empty() && out.flow == Flow::go_on) catalog_values(g, options.catalog_spectra, out.catalog);
  out.console = console.take();
  log.detach();
  out.log = std::move(log);
  out.inputs = session.take_read();
}

GalaxyOutcome process_galaxy(const RunParams& p, const Options& options, const GalaxyJob& job, Worker& w,
                             InputCache& cache, const Carried& before) {
  GalaxyOutcome out;
  process_galaxy(p, options, job, w, cache, before, out);
  return out;
}

FileIdentity remove_old_log(const GalaxyFiles& files) {
  const FileIdentity id = identity_of(files.log);
  if (id.exists && std::remove(files.log.c_str()) == 0) return id;
  return {};
}

Flow commit_galaxy(const GalaxyOutcome& o, const GalaxyFiles& files, Console& out, StagedTables* staged, Problem* why) {
  Problem unused;
  Problem& stop = why != nullptr ? *why : unused;
  if (!o.log.empty() && !rename_staged_log(staged, files.log)) {
    const ProblemLog::Content c = o.log.content();
    if (!write_file(files.log, c.text, !c.rewrite)) {
      // The run ends at the galaxy's first report, where the log was first opened.
      out.text(std::string_view(o.console).substr(0, o.log.reports().front().console_at));
      return cannot_write(out, files.log, stop);
    }
  }
  out.text(o.console);
  if (o.flow == Flow::stop) {
    stop = o.stop;
    return Flow::stop;
  }
  if (!o.processed) return Flow::go_on;
  const auto tables = tables_of(o, files);
  for (std::size_t k = 0; k < tables.size(); ++k) {
    const auto& [text, path] = tables[k];
    if (!text) continue;
    // A table written ahead is renamed; one that could not be is written now, as it would
    // have been without workers, so a failure is met and reported where it is today.
    // A rename that fails (the temporary file was removed meanwhile, say) leaves the table
    // to that write too.
    const std::string tmp = staged ? std::exchange(staged->tmp[k], "") : "";
    const bool renamed = !tmp.empty() && staged->temps->rename(tmp, *path);
    if (!renamed && !write_atomically(*path, *text)) return cannot_write(out, *path, stop);
  }
  return settle_log(o, files, out, stop);
}

}  // namespace veltrane
