#include "readers/synthesis_result.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "support/file_check.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

// One list-directed READ per record, in file order; the first failure ends the reading and
// says where it was met.
class RecordReader {
 public:
  RecordReader(RecordFile& file, std::string path) : file_(file), path_(std::move(path)) {}
  bool ok() const { return ok_; }
  RecordFile& file() { return file_; }
  const Problem& problem() const { return problem_; }
  // What the records read next hold, for the problem of a read that fails: `what`, or, with a
  // count, "what N of COUNT (detail)" (put into words only when a read fails).
  void expect(std::string_view what, int n = 0, int count = 0, std::string_view detail = {}) {
    expected_ = {what, n, count, detail};
  }

  void skip(std::int64_t records = 1) {
    for (std::int64_t i = 0; i < records && ok_; ++i) {
      const ReadStatus st = ListRead(file_).skip();
      if (st != ReadStatus::ok) stop(st, nullptr);
    }
  }
  // One statement reading one value per record (a value of the wrong form or an early end
  // fails), for each of `values` in turn.
  template <typename... Values>
  void each(Values&... values) {
    (record(values), ...);
  }
  // One statement reading several values from one record.
  template <typename... Items>
  void record(Items&... items) {
    if (!ok_) return;
    ListRead r(file_);
    (item(r, items), ...);
    if (r.status() != ReadStatus::ok) stop(r.status(), &r);
  }
  // A count (read at `record`) larger than its table: the reading ends.
  void refuse(long record, std::string reason) {
    ok_ = false;
    problem_ = {path_, record, 0, std::move(reason), {}};
  }
  long count_record = 0;  // where the population table's count was read

 private:
  void item(ListRead& r, float& v) { r.real(v); }
  void item(ListRead& r, int& v) { r.integer(v); }
  void item(ListRead& r, std::string& v) { r.text(v); }
  void stop(ReadStatus st, const ListRead* r) {
    ok_ = false;
    const Expected& e = expected_;
    const std::string what = e.count == 0 ? std::string(e.what)
                                          : std::string(e.what) + " " + std::to_string(e.n) + " of " +
                                                std::to_string(e.count) + " " + std::string(e.detail);
    problem_ = read_problem(path_, file_, st, r, what);
  }
  struct Expected {
    std::string_view what;  // string literals: they outlive the reader
    int n = 0, count = 0;
    std::string_view detail;
  };

  RecordFile& file_;
  std::string path_;
  bool ok_ = true;
  Expected expected_{"the synthesis result's next record", 0, 0, {}};
  Problem problem_;
};

void report_error(ReportContext& report, Problem problem) {
  const std::string line = "    [Read_Out_KW] arqKWsynt contains ERROR";  // verbatim
  problem.console = {indent(kProblemHeader), line};
  report.fail(std::move(problem));
  report.log.report(LogMode::rewrite, {line}, DateLine::bare);
}

// Records 1 to 63: the header values, each on its record.
void read_header(RecordReader& in, FitResult& fit) {
  int i = 0;
  float r = 0.0f;
  std::string t;
  in.expect("a header record of the synthesis result (records 1-63)");
  in.skip(5);                                              // 1-5
  for (std::string& info : fit.arq_info) in.record(info);  // 6-9
  in.record(fit.Num_base);                                 // 10
  in.count_record = in.file().record_number();
  in.each(i, i, r, fit.R_LawOPT, fit.qlbdnorm);  // 11-15
  in.skip(2);                                    // 16-17
  in.each(fit.Olsynini, fit.Olsynfin, r);        // 18-20
  in.skip(2);                                    // 21-22
  in.each(fit.lbd_norm, r, r, fit.flx_norm);     // 23-26
  in.skip(2);                                    // 27-28
  in.each(r, r, r, r, r, r, r);                  // 29-35
  in.skip(3);                                    // 36-38
  in.each(i, i);                                 // 39-40
  in.record(i, t);                               // 41
  in.each(i, i, i);                              // 42-44
  int a = 0, b = 0, c = 0;
  in.record(a, b, c);  // 45
  float d = 0.0f, e = 0.0f, f = 0.0f, g = 0.0f;
  in.record(d, e, f, g);                          // 46
  in.skip(3);                                     // 47-49
  in.each(r, r);                                  // 50-51
  in.skip(1);                                     // 52
  in.each(r, r, fit.mass_tot_2, fit.mass_tot_3);  // 53-56
  in.skip(1);                                     // 57
  in.each(r, r, fit.A_V, r);                      // 58-61
  in.skip(2);                                     // 62-63
}

// The population table (Num_base rows, summing m3_j), the records after it and N_obs.
// False when a count exceeds its table.
bool read_population(RecordReader& in, FitResult& fit) {
  // The table holds 300 rows: a larger count is refused before any row is stored.
  if (fit.Num_base > kMaxSsp) {
    in.refuse(in.count_record,
              "the population table has " + std::to_string(fit.Num_base) + " rows; it holds at most 300");
    return false;
  }
  fit.m3_sum = 0.0f;
  std::string t;
  for (int j = 0; j < fit.Num_base && in.ok(); ++j) {
    float u1 = 0.0f, u2 = 0.0f, u3 = 0.0f;
    in.expect("population row", j + 1, fit.Num_base,
              "(a name, x_j, m2_j, m3_j, age, metallicity, three numbers, the SSP file, alpha)");
    in.record(t, fit.x_j[j], fit.m2_j[j], fit.m3_j[j], fit.age_j[j], fit.met_j[j], u1, u2, u3, fit.basename[j],
              fit.alph_j[j]);
    if (in.ok()) fit.m3_sum = fit.m3_sum + fit.m3_j[j];
  }
  // In 64 bits: a count read from the file may be as large as an int holds.
  in.expect("the records after the population table");
  in.skip(std::max<std::int64_t>(0, 2 * std::int64_t(fit.Num_base) + 17));
  in.expect("the number of observed points");
  in.record(fit.N_obs);
  if (!in.ok()) return false;
  if (fit.N_obs > kMaxPoints) {
    in.refuse(in.file().record_number(),
              "the observed spectrum has " + std::to_string(fit.N_obs) + " points; it holds at most 10,000");
    return false;
  }
  if (fit.N_obs < 0) fit.N_obs = 0;
  return true;
}

// The N_obs records of the observed spectrum.
void read_spectrum(RecordReader& in, FitResult& fit) {
  for (int i = 0; i < fit.N_obs && in.ok(); ++i) {
    float row[4];
    if (textio::read_plain_reals(in.file(), row)) {  // the usual plain record, read at once
      fit.o_lambda[i] = row[0];
      fit.o_fluxes[i] = row[1];
      fit.s_fluxes[i] = row[2];
      fit.w_fluxes[i] = row[3];
    } else {
      in.expect("observed point", i + 1, fit.N_obs, "(four numbers: wavelength, flux and two more)");
      in.record(fit.o_lambda[i], fit.o_fluxes[i], fit.s_fluxes[i], fit.w_fluxes[i]);
    }
  }
}

}  // namespace

void Read_Out_KW(ReportContext& report, std::string_view arq_synt, float Phyunits, FitResult& fit,
                 const ResultOpener& open) {
  const std::string path(textio::trim_right(arq_synt));
  // Opened first, looked at only when that fails: a file that opens exists.
  std::optional<RecordFile> file = open(path);
  if (file) return Read_Out_KW(report, *file, path, Phyunits, fit);
  const std::string why = system_reason();
  if (!file_exists(arq_synt)) {
    const std::string l1 = "    [Read_Out_KW] arq_synt> does not exist";  // verbatim
    const std::string l2 = "    [Read_Out_KW] arq_synt> " + std::string(textio::adjust_trim(arq_synt));
    report.fail({path, 0, 0, "the synthesis result does not exist", {indent(kProblemHeader), l1, l2}});
    report.log.report(LogMode::rewrite, {l1, l2}, DateLine::bare);
    return;
  }
  report_error(report, {path, 0, 0, "the synthesis result cannot be opened: " + why, {}});
}

void Read_Out_KW(ReportContext& report, RecordFile& file, const std::string& path, float Phyunits, FitResult& fit) {
  RecordReader in(file, path);
  read_header(in, fit);
  if (!in.ok() || !read_population(in, fit)) return report_error(report, in.problem());
  read_spectrum(in, fit);
  if (!in.ok()) return report_error(report, in.problem());
  for (int i = 0; i < fit.N_obs; ++i) fit.o_fluxes[i] = (fit.o_fluxes[i] * fit.flx_norm) * Phyunits;
}

}  // namespace veltrane
