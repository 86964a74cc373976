#include "readers/ssp_base.h"

#include <algorithm>
#include <vector>

#include "support/file_check.h"
#include "textio/format.h"
#include "textio/text_length.h"

namespace veltrane {
namespace {

// The reader's tables hold kMaxSsp SSPs; a larger count gets the "Whoops" report.
constexpr int kNbasemax = kMaxSsp;

// A report of the base reader about `problem` (where and why): the header and `lines` on the
// console, then the same with the date line as the whole content of the log; `console_only`
// further lines go to the console alone (after `lines`). The galaxy fails unless `fails` is
// false.
void report_problem(ReportContext& report, Problem problem, const std::vector<std::string>& lines,
                    const std::vector<std::string>& console_only = {}, bool fails = true) {
  problem.console = {indent(kProblemHeader)};
  problem.console.insert(problem.console.end(), lines.begin(), lines.end());
  problem.console.insert(problem.console.end(), console_only.begin(), console_only.end());
  if (fails) report.fail(std::move(problem));
  else report.note(std::move(problem));
  report.log.report(LogMode::rewrite, std::span<const std::string>(lines));
}

// The problem of a record that stopped the reading of `path`.
Problem stopped_at(const std::string& path, const ReadStop& stop, std::string_view expected) {
  return {
      path, stop.record, stop.item, "expected " + std::string(expected) + ", found " + quoted_record(stop.found), {}};
}

std::string range_text(float a, float b) { return "[" + number_text(a) + ", " + number_text(b) + "] Å"; }

// ----- The listing of the base (Verbosity::listing). verbatim: every label and tag of the
// listing and of the reports below ("Num base" with a blank, "incresing", the "@" pads).

void list_head(Console& console, const BaseRequest& request) {
  console.say("[Read_BASpec]");
  console.say("... arq_base: " + std::string(textio::adjust_trim(request.arq_base)));
  console.say("... base_dir: " + std::string(textio::adjust_trim(request.base_dir)));
  console.say("... Olsynini: " + textio::adj_f(request.Olsynini, 15, 5));
  console.say("... Olsynfin: " + textio::adj_f(request.Olsynfin, 15, 5));
}

// "(4x,a,7(a15))": "filebase" cut or padded to the width of the first file name.
void list_column_header(Console& console, const std::string& first_file) {
  std::string text = "filebase";
  text.resize(textio::used_part(first_file).size(), ' ');
  for (std::string_view w : {"age_base", "met_base", "cod_base", "Mst_base", "ind_exAV", "alphbase", "QHc_base"}) {
    text.append(15 - w.size(), ' ').append(w);
  }
  console.say(text);
}

// "(4x,a,2(e15.5),5x,a,4(e15.5))": SSP j's record with the base's columns as read;
// QHc_base keeps its reset value.
void list_row(Console& console, const BaseFile::Record& r, const BaseRead& columns, std::size_t j) {
  std::string text(textio::adjust_trim(r.filebase));
  text += textio::fmt_e(columns.age_base[j], 15, 5) + textio::fmt_e(columns.met_base[j], 15, 5) + "     ";
  text += textio::adjust_trim(r.cod_base);
  for (float v : {r.mst, r.ind, columns.alphbase[j], kSentinel}) text += textio::fmt_e(v, 15, 5);
  console.say(text);
}

// The "(4x,2(a,f8.3))" block of a fit limit outside the grid.
void list_coverage_warning(Console& console, std::string_view which, float limit, float grid_end) {
  console.say(kWarningBar);
  console.say("[Read_BASpec] WARNING! " + std::string(which) + " is out of range");
  console.say("[Read_BASpec] " + textio::fmt_f(limit, 8, 3) + "---" + textio::fmt_f(grid_end, 8, 3));
  console.say(kWarningBar);
}

// "(2(a,e15.3))": a record without the four-blank indent.
std::string range_line(float a, float b) {
  return "[Read_BASpec] " + textio::fmt_e(a, 15, 3) + "---" + textio::fmt_e(b, 15, 3);
}

// ----- The reading

// What the spectra read so far leave for the summary of the listing.
struct Scan {
  std::string dir;  // the SSP directory's used part
  int NOl_base = 0, Ilowbase = 0, Iuppbase = 0;
  // Ages and metallicities: a value not met before is kept at the SSP's own place, so the
  // count of non-negative entries is the count of distinct values.
  std::vector<float> aux_ages, aux_mets;
  std::vector<float> Mst = std::vector<float>(kMaxSsp, 0.0f);
};

void note(std::vector<float>& seen, std::size_t k, float v) {
  if (std::find(seen.begin(), seen.end(), v) == seen.end()) seen[k] = v;
}

int count_non_negative(const std::vector<float>& seen) {
  return int(std::count_if(seen.begin(), seen.end(), [](float v) { return v >= 0.0f; }));
}

// Ilowbase: the last point at or below Olsynini; Iuppbase: the last point above Olsynfin
// whose predecessor is not (1-based, 0 for none), as the reading loop finds them.
void find_brackets(const SspFile& f, float ini, float fin, int& low, int& upp) {
  const std::vector<float>& l = f.lambda;
  low = upp = 0;
  if (f.sorted) {
    if (ini == ini) low = int(std::upper_bound(l.begin(), l.end(), ini) - l.begin());
    const auto j = std::size_t(std::upper_bound(l.begin(), l.end(), fin) - l.begin());
    if (fin == fin && j >= 1 && j < l.size()) upp = int(j) + 1;
    return;
  }
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (ini >= l[i]) low = int(i) + 1;
    if (i >= 1 && fin >= l[i - 1] && l[i] > fin) upp = int(i) + 1;
  }
}

// The base file: its existence, its record 1 and the count it gives, before the reset.
// False after the report of a failure (a missing file also stops the run).
bool open_base(ReportContext& report, BaseSource& source, const BaseRequest& request,
               std::shared_ptr<const BaseFile>& base, BaseRead& result) {
  const bool exists = source.exists(request.arq_base);
  if (report.listing()) list_existence(report.console, request.arq_base, exists);
  const std::string path(textio::trim_right(request.arq_base));
  if (!exists) {
    report_problem(report, {path, 0, 0, "the SSP base file does not exist", {}},
                   {indent("[Read_BASpec] arq_base> does not exist")},
                   {indent("[Read_BASpec] arq_base> " + std::string(textio::adjust_trim(request.arq_base)))});
    result.flow = Flow::stop;
    return false;
  }
  base = source.base_file(path);
  if (!base || base->count_status == BaseFile::Status::error) {
    Problem p = base ? stopped_at(path, base->count_stop, "the number of SSPs")
                     : Problem{path, 0, 0, "the SSP base file cannot be read: " + system_reason(), {}};
    report_problem(report, std::move(p), {indent("[Read_BASpec] Base File contains ERROR")});
    return false;
  }
  if (base->count_stored) result.Num_base = base->count;  // else the synthesis result's count stays
  if (result.Num_base > kNbasemax) {
    report_problem(
        report,
        {path, 1, 0, "the base lists " + std::to_string(result.Num_base) + " SSPs; a base holds at most 300", {}},
        {indent("[Read_BASpec] Whoops-a-daisy--Num_base"),  // verbatim
         indent("[Read_BASpec] Num_base: " + textio::adj_i(result.Num_base)),
         indent("[Read_BASpec] Nbasemax: " + textio::adj_i(kNbasemax))});
    return false;
  }
  return true;
}

// The checks of one spectrum that was read (ReadTextBAS), in order; false after the report
// of the first that fails.
bool check_spectrum(ReportContext& report, const SspFile& ssp, const std::string& path, const BaseRequest& request,
                    Scan& scan) {
  scan.NOl_base = int(ssp.lambda.size());
  find_brackets(ssp, request.Olsynini, request.Olsynfin, scan.Ilowbase, scan.Iuppbase);
  if (scan.Ilowbase == 0 || scan.Iuppbase == 0) {
    report_problem(report,
                   {path,
                    0,
                    0,
                    "the fit range " + range_text(request.Olsynini, request.Olsynfin) +
                        " needs a wavelength at or below its start and one above its end",
                    {}},
                   {indent("[ReadTextBAS] Ilowbase--Iuppbase === 0")});
    return false;
  }
  const std::vector<float>& lambda = ssp.lambda;
  if (report.verbosity == Verbosity::points) {
    for (std::size_t i = 0; i < lambda.size(); ++i) {
      report.console.say(textio::adj_f(lambda[i], 15, 5));
      report.console.say(textio::adj_f(ssp.column[i], 15, 5));
    }
  }
  // Both brackets exist, so at least two points were read.
  if (lambda.front() >= request.Olsynfin || request.Olsynini >= lambda.back()) {
    report_problem(report,
                   {path,
                    0,
                    0,
                    "the fit range " + range_text(request.Olsynini, request.Olsynfin) +
                        " lies outside the spectrum's wavelengths " + range_text(lambda.front(), lambda.back()),
                    {}},
                   {indent("[Read_BASpec] Fit out of range allowed"), range_line(request.Olsynini, request.Olsynfin),
                    range_line(lambda.front(), lambda.back())});
    return false;
  }
  if (report.listing()) {
    if (lambda.front() > request.Olsynini)
      list_coverage_warning(report.console, "Olsynini", request.Olsynini, lambda.front());
    if (request.Olsynfin > lambda.back())
      list_coverage_warning(report.console, "Olsynfin", request.Olsynfin, lambda.back());
  }
  // Equal neighbours pass here; StatsReNorm refuses them.
  if (ssp.decreases) {
    const std::size_t k = std::size_t(ssp.first_decrease - 1);
    report_problem(
        report,
        {path,
         ssp.header + ssp.first_decrease,
         0,
         "the wavelengths decrease: " + number_text(lambda[k]) + " Å after " + number_text(lambda[k - 1]) + " Å",
         {}},
        {indent("[Read_BASpec] λ is not incresing order")});  // verbatim: "incresing"
    return false;
  }
  return true;
}

// SSP j: its record of the base file, its spectrum file and the checks of the spectrum;
// false after the report of a failure (an SSP file that cannot be opened also stops the
// run). `read` collects the spectra read, for the tables.
bool read_ssp(ReportContext& report, BaseSource& source, const BaseRequest& request, const BaseFile::Record& r,
              std::size_t j, Scan& scan, BaseRead& result, std::vector<std::shared_ptr<const SspFile>>& read,
              std::string& path) {
  if (r.status == BaseFile::Status::error) {
    report_problem(report,
                   stopped_at(std::string(textio::trim_right(request.arq_base)), r.stop,
                              "an SSP record (file, age, metallicity, code, M*, ind_exAV, alpha)"),
                   {indent("[Read_BASpec] Base File contains ERROR")});
    return false;
  }
  // The directory's used part and the file's name, cut to the text length, without the
  // blanks after (cut_text, built in the caller's buffer: no allocation per SSP).
  path.assign(scan.dir).append(r.filebase);
  if (path.size() > kTextLen) path.resize(kTextLen);
  path.resize(textio::trim_right(path).size());
  const auto ssp = source.ssp_file(path);
  if (!ssp) {
    report_problem(report, {path, 0, 0, "the SSP spectrum cannot be opened: " + system_reason(), {}},
                   {indent("[ReadTextBAS] arq_file> does not exist"),
                    indent("[ReadTextBAS] arq_file> " + std::string(textio::adjust_trim(path)))});
    result.flow = Flow::stop;
    return false;
  }
  read.push_back(ssp);
  if (ssp->end == SspFile::End::read_error) {
    report_problem(report, stopped_at(path, ssp->error, "two numbers (wavelength, flux)"),
                   {indent("[ReadTextBAS] arq_file> read problem @")});
    return false;
  }
  if (ssp->end == SspFile::End::limit) {
    report_problem(report,
                   {path,
                    ssp->header + kMaxPoints + 1,
                    0,
                    "more than 10,000 points: the points after the 10,000th are not read",
                    {}},
                   {indent("[ReadTextBAS] NOl_base > N_lambda @@@@")}, {}, false);
    result.cut_at_limit.push_back(path);
  }
  if (!check_spectrum(report, *ssp, path, request, scan)) return false;
  if (report.listing()) list_row(report.console, r, result, j);
  return true;
}

// Every SSP needs a stellar-mass fraction in (0, 1]; otherwise none is trusted (the model
// does not fail for it).
void check_masses(ReportContext& report, const Scan& scan, int Num_base, const BaseRequest& request) {
  const auto reliable = std::count_if(scan.Mst.begin(), scan.Mst.end(), [](float m) { return m > 0.0f && m <= 1.0f; });
  if (reliable != Num_base) {
    report_problem(report,
                   {std::string(textio::trim_right(request.arq_base)),
                    0,
                    0,
                    "not every SSP's stellar-mass fraction M* lies in (0, 1]: the masses are not reliable",
                    {}},
                   {indent("[Read_BASpec] Stellar Mass % set === 0"), indent("[Read_BASpec] M* are not reliable @@@@")},
                   {}, false);
  }
}

void list_summary(Console& console, const Scan& scan, int Num_base) {
  console.say("... Num base: " + textio::adj_i(Num_base, 10));  // verbatim: a blank, not "_"
  console.say("... Num_ages: " + textio::adj_i(count_non_negative(scan.aux_ages), 10));
  console.say("... Num_mets: " + textio::adj_i(count_non_negative(scan.aux_mets), 10));
  console.say("... NOl_base: " + textio::adj_i(scan.NOl_base, 10));
  console.say("... Ilowbase: " + textio::adj_i(scan.Ilowbase, 10));
  console.say("... Iuppbase: " + textio::adj_i(scan.Iuppbase, 10));
  console.say("[Read_BASpec]");
}

// After the reset: every SSP of the count in turn, until one fails; then the mass check and
// the summary.
void read_ssps(ReportContext& report, BaseSource& source, const BaseRequest& request, const BaseFile& base,
               BaseRead& result, std::vector<std::shared_ptr<const SspFile>>& read) {
  const std::size_t n_ssp = std::size_t(std::max(result.Num_base, 0));
  Scan scan;
  scan.dir = textio::used_part(request.base_dir);
  std::string path;
  scan.aux_ages.assign(n_ssp, kSentinel);
  scan.aux_mets.assign(n_ssp, kSentinel);
  if (report.listing()) report.console.say("... VT__WARN: Wavelengths must have the same range for all SSPs");
  BaseFile::Record past_the_end;
  past_the_end.status = BaseFile::Status::end_of_file;
  for (std::size_t j = 0; j < n_ssp; ++j) {
    const BaseFile::Record& r = j < base.records.size() ? base.records[j] : past_the_end;
    result.age_base[j] = r.age;
    result.met_base[j] = r.met;
    result.alphbase[j] = r.alph;
    scan.Mst[j] = r.mst;
    if (j == 0 && report.listing()) list_column_header(report.console, r.filebase);
    note(scan.aux_ages, j, r.age);
    note(scan.aux_mets, j, r.met);
    if (!read_ssp(report, source, request, r, j, scan, result, read, path)) return;
  }
  check_masses(report, scan, result.Num_base, request);
  if (report.listing()) list_summary(report.console, scan, result.Num_base);
}

}  // namespace

BaseRead Read_BASpec(ReportContext& report, BaseSource& source, const BaseRequest& request) {
  BaseRead result;
  result.Num_base = request.Num_base;
  if (report.listing()) list_head(report.console, request);
  std::shared_ptr<const BaseFile> base;
  if (!open_base(report, source, request, base, result)) return result;

  if (report.listing()) report.console.say("... Set_base: Reset arrays");
  result.age_base.fill(kSentinel);
  std::vector<std::shared_ptr<const SspFile>> read;
  read.reserve(std::size_t(std::clamp(result.Num_base, 0, kMaxSsp)));
  read_ssps(report, source, request, *base, result, read);

  // Publish: from the reset on, the tables hold what was read, however the reading ended.
  result.replaced = true;
  result.tables = source.tables(read);
  return result;
}

}  // namespace veltrane
