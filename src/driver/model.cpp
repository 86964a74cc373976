#include "driver/model.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "driver/staging.h"
#include "support/array_reset.h"
#include "support/file_check.h"
#include "textio/format.h"

namespace veltrane {
namespace {

// Sentinels in every slot of the magnitude table and in the per-filter results, so a model
// that fails shows -999.0 wherever it computed nothing itself; no population row of an
// earlier model weighs anything in this one.
void reset_model(Worker& w) {
  reset_to_sentinel(w.mags.m);
  for (auto* v : {&w.filter_results.filt_res_a, &w.filter_results.filt_res_b, &w.filter_results.filt_zp_v})
    reset_to_sentinel(*v);
  for (auto* v : {&w.fit.x_j, &w.fit.m2_j, &w.fit.m3_j, &w.spectra.x_you, &w.spectra.x_old, &w.spectra.m2_you,
                  &w.spectra.m2_old, &w.spectra.m3_you, &w.spectra.m3_old})
    reset_to_zero(*v);
}

// `text` written to `path` from its start ("w") or after what it holds ("a"); every step
// checked.
bool write_file(const std::string& path, const std::string& text, const char* mode) {
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fflush(f) == 0 && ok;
  return std::fclose(f) == 0 && ok;
}

Flow cannot_write(Console& out, const std::string& path) {
  out.say("... ERROR -> Cannot write " + std::string(textio::adjust_trim(path)));
  return Flow::stop;
}

// The end-of-model rule: only failed models keep a log; one that failed without writing any
// gets a short report.
Flow settle_log(const ModelOutcome& o, const ModelFiles& files, Console& out) {
  const bool exists = file_exists(files.log);
  if (o.status.good() && exists) {
    // Nothing but a regular file of its own is ever removed: a directory cannot be.
    if (!regular_file_at(files.log) || std::remove(files.log.c_str()) != 0) return cannot_write(out, files.log);
  } else if (o.status.failed() && !exists) {
    if (!write_file(files.log, end_of_model_report().content().text, "ab")) return cannot_write(out, files.log);
  }
  return Flow::go_on;
}

// The log written ahead, renamed to its place where nothing is (the old log was removed when
// the model started, and a new file is what writing it would make there); false where it
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

ProblemLog end_of_model_report() {
  ProblemLog end;
  // verbatim: the report names the model's status by its old flag, IsKeepOn.
  end.report(LogMode::append,
             {indent("[Veltrane] IsKeepOn === 0 @@@@@@@@@@@@"), indent("[Veltrane] Problem reported on console")});
  return end;
}

ModelOutcome process_model(const RunParams& p, const ModelJob& job, Worker& w, InputCache& cache,
                           const Carried& before) {
  ModelOutcome out;
  Console console = Console::capture();
  out.after = before;
  console.say("... arq_synt: " + job.files.arq_synt);
  const Verbosity verbosity = verbosity_of(p.Fverbose);
  if (verbosity == Verbosity::echo) console.say("... distance: " + textio::adj_f(job.distance, 15, 8));
  if (job.too_long) {
    // Cut names would collide: the log or a table could replace the result file itself.
    console.say("... VT__WARN: File name too long, model skipped");  // verbatim
    out.console = console.captured();
    return out;
  }
  out.processed = true;
  ProblemLog log(&console);
  ReportContext report{console, log, out.status, verbosity};
  InputCache::Session session(cache);
  reset_model(w);
  w.name = job.files.arq_synt;
  session.note(job.files.arq_synt, identity_of(job.files.arq_synt));
  Read_Out_KW(report, job.files.arq_synt, p.Phyunits, w.fit);
  const bool fit_read = out.status.good();
  if (fit_read) {
    out.flow = rebuild_model(report, p, w, session, out);
    if (out.flow == Flow::go_on) {
      const auto masses = log_masses(p, w, job.distance);
      format_tables(console, p, w, out.after, job, masses, out);
      if (p.catalog) keep_catalog_values(p, w, out.after, true, true, masses, out.catalog);
    }
  } else if (p.catalog) {
    keep_catalog_values(p, w, out.after, false, false, {}, out.catalog);
  }
  out.console = console.captured();
  log.detach();
  out.log = std::move(log);
  for (const std::string& f : out.cut_at_limit)
    out.warnings.push_back("galaxy " + job.files.arq_synt + ": SSP file " + f +
                           " reaches the 10,000-point limit: points after the 10,000th are not read");
  out.inputs = session.read();
  return out;
}

void remove_old_log(const ModelFiles& files) {
  if (regular_file_at(files.log)) std::remove(files.log.c_str());
}

Flow commit_model(const ModelOutcome& o, const ModelFiles& files, Console& out, StagedTables* staged) {
  if (!o.log.empty() && !rename_staged_log(staged, files.log)) {
    const ProblemLog::Content c = o.log.content();
    if (!write_file(files.log, c.text, c.rewrite ? "wb" : "ab")) {
      // The run ends at the model's first report, where the log was first opened.
      out.text(std::string_view(o.console).substr(0, o.log.reports().front().console_at));
      return cannot_write(out, files.log);
    }
  }
  out.text(o.console);
  if (o.flow == Flow::stop) return Flow::stop;
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
    if (!renamed && !write_atomically(*path, *text)) return cannot_write(out, *path);
  }
  return settle_log(o, files, out);
}

}  // namespace veltrane
