#include "readers/synthesis_result.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "numerics/console.h"
#include "numerics/file_check.h"
#include "numerics/problem_log.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

// One list-directed READ per record, in file order; any failure ends the reading.
class RecordReader {
 public:
  explicit RecordReader(RecordFile& file) : file_(file) {}
  bool ok() const { return ok_; }

  void skip(std::int64_t records = 1) {
    for (std::int64_t i = 0; i < records && ok_; ++i) ok_ = ListRead(file_).skip() == ReadStatus::ok;
  }
  void text(std::string& v) {
    if (!ok_) return;
    ListRead r(file_);
    ok_ = r.text(v) == ReadStatus::ok;
  }
  void integer(int& v) {
    if (!ok_) return;
    ListRead r(file_);
    ok_ = r.integer(v) == ReadStatus::ok;
  }
  void real(float& v) {
    if (!ok_) return;
    ListRead r(file_);
    ok_ = r.real(v) == ReadStatus::ok;
  }
  // One statement reading several values; a value of the wrong form or an early end fails.
  template <typename... Items>
  void record(Items&... items) {
    if (!ok_) return;
    ListRead r(file_);
    (item(r, items), ...);
  }

 private:
  void item(ListRead& r, float& v) { ok_ = ok_ && r.real(v) == ReadStatus::ok; }
  void item(ListRead& r, int& v) { ok_ = ok_ && r.integer(v) == ReadStatus::ok; }
  void item(ListRead& r, std::string& v) { ok_ = ok_ && r.text(v) == ReadStatus::ok; }

  RecordFile& file_;
  bool ok_ = true;
};

void report_error(Console& console, ProblemLog& log) {
  const std::string line = "    [Read_Out_KW] arqKWsynt contains ERROR";
  console.say(kProblemHeader);
  console.line(line);
  log.report(LogMode::rewrite, {line}, DateLine::bare);
}

}  // namespace

void Read_Out_KW(Console& console, ProblemLog& log, std::string_view arq_synt, float Phyunits,
                 FitResult& fit, int& IsKeepOn) {
  if (!Ver_Dir_Arc(console, arq_synt, 0)) {
    const std::string l1 = "    [Read_Out_KW] arq_synt> does not exist";
    const std::string l2 = "    [Read_Out_KW] arq_synt> " + std::string(textio::adjust_trim(arq_synt));
    console.say(kProblemHeader);
    console.line(l1);
    console.line(l2);
    log.report(LogMode::rewrite, {l1, l2}, DateLine::bare);
    IsKeepOn = 0;
    return;
  }
  std::optional<RecordFile> file = RecordFile::open(std::string(textio::trim_right(arq_synt)));
  if (!file) {
    report_error(console, log);
    IsKeepOn = 0;
    return;
  }
  Read_Out_KW(console, log, *file, Phyunits, fit, IsKeepOn);
}

void Read_Out_KW(Console& console, ProblemLog& log, RecordFile& file, float Phyunits, FitResult& fit,
                 int& IsKeepOn) {
  RecordReader in(file);
  int i_unused = 0;
  float r_unused = 0.0f;
  std::string t_unused;

  in.skip(5);                                    // records 1-5
  for (std::string& info : fit.arq_info) in.text(info);  // 6-9
  in.integer(fit.Num_base);                      // 10
  in.integer(i_unused);                          // 11
  in.integer(i_unused);                          // 12
  in.real(r_unused);                             // 13
  in.text(fit.R_LawOPT);                         // 14
  in.real(fit.qlbdnorm);                         // 15
  in.skip(2);                                    // 16-17
  in.real(fit.Olsynini);                         // 18
  in.real(fit.Olsynfin);                         // 19
  in.real(r_unused);                             // 20
  in.skip(2);                                    // 21-22
  in.real(fit.lbd_norm);                         // 23
  in.real(r_unused);                             // 24
  in.real(r_unused);                             // 25
  in.real(fit.flx_norm);                         // 26
  in.skip(2);                                    // 27-28
  for (int r = 29; r <= 35; ++r) in.real(r_unused);
  in.skip(3);                                    // 36-38
  in.integer(i_unused);                          // 39
  in.integer(i_unused);                          // 40
  in.record(i_unused, t_unused);                 // 41
  for (int r = 42; r <= 44; ++r) in.integer(i_unused);
  {
    int a = 0, b = 0, c = 0;
    in.record(a, b, c);                          // 45
    float d = 0.0f, e = 0.0f, f = 0.0f, g = 0.0f;
    in.record(d, e, f, g);                       // 46
  }
  in.skip(3);                                    // 47-49
  in.real(r_unused);                             // 50
  in.real(r_unused);                             // 51
  in.skip(1);                                    // 52
  in.real(r_unused);                             // 53
  in.real(r_unused);                             // 54
  in.real(fit.mass_tot_2);                       // 55
  in.real(fit.mass_tot_3);                       // 56
  in.skip(1);                                    // 57
  in.real(r_unused);                             // 58
  in.real(r_unused);                             // 59
  in.real(fit.A_V);                              // 60
  in.real(r_unused);                             // 61
  in.skip(2);                                    // 62-63

  // The table holds 300 rows: a larger count is refused before any row is stored.
  bool ok = in.ok() && fit.Num_base <= kMaxSsp;
  if (ok) {
    fit.m3_sum = 0.0f;
    for (int j = 0; j < fit.Num_base && in.ok(); ++j) {
      float u1 = 0.0f, u2 = 0.0f, u3 = 0.0f;
      in.record(t_unused, fit.x_j[j], fit.m2_j[j], fit.m3_j[j], fit.age_j[j], fit.met_j[j], u1, u2,
                u3, fit.basename[j], fit.alph_j[j]);
      if (in.ok()) fit.m3_sum = fit.m3_sum + fit.m3_j[j];
    }
    // In 64 bits: a count read from the file may be as large as an int holds.
    in.skip(std::max<std::int64_t>(0, 2 * std::int64_t(fit.Num_base) + 17));
    in.integer(fit.N_obs);
    ok = in.ok() && fit.N_obs <= kMaxPoints;
    if (ok && fit.N_obs < 0) fit.N_obs = 0;
  }
  if (ok) {
    for (int i = 0; i < fit.N_obs && in.ok(); ++i) {
      float row[4];
      if (textio::read_plain_reals(file, row)) {  // the usual plain record, read at once
        fit.o_lambda[i] = row[0];
        fit.o_fluxes[i] = row[1];
        fit.s_fluxes[i] = row[2];
        fit.w_fluxes[i] = row[3];
      } else {
        in.record(fit.o_lambda[i], fit.o_fluxes[i], fit.s_fluxes[i], fit.w_fluxes[i]);
      }
    }
    ok = in.ok();
  }
  if (!ok) {
    report_error(console, log);
    IsKeepOn = 0;
    return;
  }
  for (int i = 0; i < fit.N_obs; ++i) fit.o_fluxes[i] = (fit.o_fluxes[i] * fit.flx_norm) * Phyunits;
}

}  // namespace veltrane
