#include "readers/ssp_base.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "numerics/file_check.h"
#include "numerics/interpolation.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

// The reader's tables hold kMaxSsp SSPs; a larger count gets the "Whoops" report.
constexpr int kNbasemax = kMaxSsp;

const std::vector<float>& constant_column(float value) {
  static const std::vector<float> zeros(kMaxPoints, 0.0f);
  static const std::vector<float> sentinels(kMaxPoints, kSentinel);
  return value == 0.0f ? zeros : sentinels;
}

BaseFile::Status status_of(ReadStatus s) {
  return s == ReadStatus::ok ? BaseFile::Status::ok
         : s == ReadStatus::error ? BaseFile::Status::error : BaseFile::Status::end_of_file;
}

// A report of the base reader: the header and `lines` on the console, then the same with
// the date line as the whole content of the log. `console_only` further lines go to the
// console alone (after `lines`).
void report(Console& console, ProblemLog& log, std::vector<std::string> lines,
            std::vector<std::string> console_only = {}) {
  console.say(kProblemHeader);
  for (const std::string& l : lines) console.line(l);
  for (const std::string& l : console_only) console.line(l);
  log.report(LogMode::rewrite, std::span<const std::string>(lines));
}

// "(2(a,e15.3))": a record without the four-blank indent.
std::string range_line(float a, float b) {
  return "[Read_BASpec] " + textio::fmt_e(a, 15, 3) + "---" + textio::fmt_e(b, 15, 3);
}

// The "(4x,2(a,f8.3))" block of a fit limit outside the grid (listing only).
void coverage_warning(Console& console, std::string_view which, float limit, float grid_end) {
  const std::string bar(65, '?');
  console.say(bar);
  console.say("[Read_BASpec] WARNING! " + std::string(which) + " is out of range");
  console.say("[Read_BASpec] " + textio::fmt_f(limit, 8, 3) + "---" + textio::fmt_f(grid_end, 8, 3));
  console.say(bar);
}

// "(4x,a,7(a15))": "filebase" cut or padded to the width of the first file name.
void column_header(Console& console, const std::string& first_file) {
  std::string text = "filebase";
  text.resize(textio::used_part(first_file).size(), ' ');
  for (std::string_view w : {"age_base", "met_base", "cod_base", "Mst_base", "ind_exAV",
                             "alphbase", "QHc_base"}) {
    text.append(15 - w.size(), ' ').append(w);
  }
  console.say(text);
}

// "(4x,a,2(e15.5),5x,a,4(e15.5))"; QHc_base keeps its reset value.
void row(Console& console, const BaseFile::Record& r, float age, float met, float alph) {
  std::string text(textio::adjust_trim(r.filebase));
  text += textio::fmt_e(age, 15, 5) + textio::fmt_e(met, 15, 5) + "     ";
  text += textio::adjust_trim(r.cod_base);
  for (float v : {r.mst, r.ind, alph, kSentinel}) text += textio::fmt_e(v, 15, 5);
  console.say(text);
}

// Records at the top of the file whose first character is "#" (an end of file ends them).
int header_length(RecordFile& file) {
  int h = 0;
  char c = ' ';
  while (textio::read_first_char(file, c) == ReadStatus::ok && c == '#') ++h;
  return h;
}

// Ilowbase: the last point at or below Olsynini; Iuppbase: the last point above Olsynfin
// whose predecessor is not (1-based, 0 for none), as the reading loop finds them.
void brackets(const SspFile& f, float ini, float fin, int& low, int& upp) {
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

int count_non_negative(const std::vector<float>& seen) {
  return int(std::count_if(seen.begin(), seen.end(), [](float v) { return v >= 0.0f; }));
}

}  // namespace

std::shared_ptr<const BaseTables> BaseTables::initial() {
  auto t = std::make_shared<BaseTables>();
  t->columns.fill(constant_column(0.0f).data());
  t->finite.fill(true);
  return t;
}

SspFile parse_ssp_file(const std::string& text) {
  SspFile f;
  {
    RecordFile scan = RecordFile::from_string(text);
    f.header = header_length(scan);
  }
  RecordFile file = RecordFile::from_string(text);
  for (int i = 0; i < f.header; ++i) ListRead(file).skip();
  f.column.assign(kMaxPoints, kSentinel);
  for (int i = 0;; ++i) {
    float point[2] = {kSentinel, kSentinel};  // λ, flux
    if (!textio::read_plain_reals(file, point)) {  // not the usual plain record
      ListRead rec(file);
      rec.real(point[0]);
      const bool lambda_stored = rec.stored();
      const ReadStatus st = rec.real(point[1]);
      const bool flux_stored = rec.stored();
      if (st == ReadStatus::end_of_file) {
        // The wavelength of a point cut off by the end of the file is not kept; a flux
        // stored together with the end of the file (a final slash) stays in the column.
        if (flux_stored) f.column[std::size_t(i)] = point[1];
        break;
      }
      // A value of the wrong form, or a value left unread (a slash, a null value): the
      // point would otherwise take what the table held there, another SSP's value. What the
      // read did store stays, as it does before any read problem.
      if (st == ReadStatus::error || !lambda_stored || !flux_stored) {
        f.partial = lambda_stored;
        f.partial_lambda = point[0];
        if (flux_stored) f.column[std::size_t(i)] = point[1];
        f.end = SspFile::End::read_error;
        break;
      }
    }
    f.lambda.push_back(point[0]);
    f.column[std::size_t(i)] = point[1];
    if (i + 1 == kMaxPoints) {
      f.end = SspFile::End::limit;
      break;
    }
  }
  const auto& l = f.lambda;
  f.decreases = std::adjacent_find(l.begin(), l.end(), std::greater<float>()) != l.end();
  f.sorted = std::none_of(l.begin(), l.end(), [](float v) { return v != v; }) && !f.decreases;
  f.finite = std::all_of(f.column.begin(), f.column.end(), [](float v) { return std::isfinite(v); });
  return f;
}

BaseFile parse_base_file(const std::string& text) {
  BaseFile b;
  {
    // Whether record 1 stores a value: two readings from different starting values.
    RecordFile a = RecordFile::from_string(text), c = RecordFile::from_string(text);
    std::int32_t x = 0, y = 1;
    const ReadStatus s = ListRead(a).integer(x);
    ListRead(c).integer(y);
    b.count_status = status_of(s);
    b.count_stored = x == y;
    b.count = x;
  }
  RecordFile file = RecordFile::from_string(text);
  ListRead(file).integer(b.count);
  for (int j = 0; j < kMaxSsp; ++j) {
    BaseFile::Record r;
    ListRead rec(file);
    rec.text(r.filebase);
    rec.real(r.age);
    rec.real(r.met);
    rec.text(r.cod_base);
    rec.real(r.mst);
    rec.real(r.ind);
    rec.real(r.alph);
    r.status = status_of(rec.status());
    b.records.push_back(std::move(r));
    if (rec.status() != ReadStatus::ok) break;  // the reader stops here, or reads nothing more
  }
  return b;
}

std::shared_ptr<const BaseTables> assemble_base(std::span<const std::shared_ptr<const SspFile>> ssps) {
  auto t = std::make_shared<BaseTables>();
  std::fill(t->b_lambda.begin(), t->b_lambda.end(), kSentinel);
  t->columns.fill(constant_column(kSentinel).data());
  t->finite.fill(true);
  for (std::size_t k = 0; k < ssps.size() && k < std::size_t(kMaxSsp); ++k) {
    const SspFile& f = *ssps[k];
    std::copy(f.lambda.begin(), f.lambda.end(), t->b_lambda.begin());
    if (f.partial) t->b_lambda[f.lambda.size()] = f.partial_lambda;
    t->columns[k] = f.column.data();
    t->finite[k] = f.finite;
    t->owners.push_back(ssps[k]);
  }
  return t;
}

bool Read_BASpec(Console& console, ProblemLog& log, BaseSource& source,
                 std::shared_ptr<const BaseTables>& tables, std::span<float> age_base,
                 std::span<float> met_base, std::span<float> alphbase, float Olsynini,
                 float Olsynfin, std::string& arq_base, std::string_view base_dir, int& Num_base,
                 int& IsKeepOn, int Fverbose) {
  const bool listing = Fverbose == 1;
  auto fail = [&] {
    IsKeepOn = 0;
    arq_base = "NONE";
  };

  if (listing) {
    console.say("[Read_BASpec]");
    console.say("... arq_base: " + std::string(textio::adjust_trim(arq_base)));
    console.say("... base_dir: " + std::string(textio::adjust_trim(base_dir)));
    console.say("... Olsynini: " + textio::adj_f(Olsynini, 15, 5));
    console.say("... Olsynfin: " + textio::adj_f(Olsynfin, 15, 5));
  }

  if (!Ver_Dir_Arc(console, arq_base, Fverbose)) {
    const std::string path(textio::adjust_trim(arq_base));
    report(console, log, {indent("[Read_BASpec] arq_base> does not exist")},
           {indent("[Read_BASpec] arq_base> " + path)});
    fail();
    throw RunStop(1, "base file does not exist: " + path);
  }

  const auto base = source.base_file(std::string(textio::trim_right(arq_base)));
  const auto base_file_error = [&] {
    report(console, log, {indent("[Read_BASpec] Base File contains ERROR")});
    fail();
  };
  if (!base || base->count_status == BaseFile::Status::error) {
    base_file_error();
    return false;
  }
  if (base->count_stored) Num_base = base->count;  // else the synthesis result's count stays

  if (Num_base > kNbasemax) {
    report(console, log,
           {indent("[Read_BASpec] Whoops-a-daisy--Num_base"),
            indent("[Read_BASpec] Num_base: " + textio::adj_i(Num_base)),
            indent("[Read_BASpec] Nbasemax: " + textio::adj_i(kNbasemax))});
    fail();
    return false;
  }

  if (listing) console.say("... Set_base: Reset arrays");
  std::fill(age_base.begin(), age_base.begin() + kMaxSsp, kSentinel);
  std::fill(met_base.begin(), met_base.begin() + kMaxSsp, 0.0f);
  std::fill(alphbase.begin(), alphbase.begin() + kMaxSsp, 0.0f);
  std::vector<std::shared_ptr<const SspFile>> read;
  // From here on the reading has reset the tables: whatever happens, they hold what was read.
  struct Publish {
    std::shared_ptr<const BaseTables>& tables;
    BaseSource& source;
    std::vector<std::shared_ptr<const SspFile>>& read;
    ~Publish() { tables = source.tables(read); }
  } publish{tables, source, read};

  const std::size_t n_ssp = std::size_t(std::max(Num_base, 0));
  std::vector<float> aux_ages(n_ssp, kSentinel);
  std::vector<float> aux_mets(n_ssp, kSentinel);
  // A value not met before is kept at the SSP's own place in the work list, so the count of
  // non-negative entries is the count of distinct values.
  const auto note = [](std::vector<float>& seen, std::size_t k, float v) {
    if (std::find(seen.begin(), seen.end(), v) == seen.end()) seen[k] = v;
  };
  if (listing) console.say("... VT__WARN: Wavelengths must have the same range for all SSPs");

  const std::string dir = textio::used_part(base_dir);
  const BaseFile::Record past_the_end{.status = BaseFile::Status::end_of_file};
  int NOl_base = 0, Ilowbase = 0, Iuppbase = 0;
  std::vector<float> Mst(kMaxSsp, 0.0f);
  for (std::size_t j = 0; j < n_ssp; ++j) {
    const BaseFile::Record& r = j < base->records.size() ? base->records[j] : past_the_end;
    age_base[j] = r.age;
    met_base[j] = r.met;
    alphbase[j] = r.alph;
    Mst[j] = r.mst;
    if (j == 0 && listing) column_header(console, r.filebase);
    note(aux_ages, j, r.age);
    note(aux_mets, j, r.met);
    if (r.status == BaseFile::Status::error) {
      base_file_error();
      return true;
    }

    const std::string arq_file = textio::cut_text(dir + r.filebase);
    const auto ssp = source.ssp_file(std::string(textio::trim_right(arq_file)));
    if (!ssp) {
      report(console, log,
             {indent("[ReadTextBAS] arq_file> does not exist"),
              indent("[ReadTextBAS] arq_file> " + std::string(textio::adjust_trim(arq_file)))});
      IsKeepOn = 0;
      throw RunStop(1, "SSP file cannot be opened: " + arq_file);
    }
    read.push_back(ssp);
    if (ssp->end == SspFile::End::read_error) {
      report(console, log, {indent("[ReadTextBAS] arq_file> read problem @")});
      fail();
      return true;
    }
    if (ssp->end == SspFile::End::limit) {
      report(console, log, {indent("[ReadTextBAS] NOl_base > N_lambda @@@@")});
      source.cut_at_limit(std::string(textio::trim_right(arq_file)));
    }
    NOl_base = int(ssp->lambda.size());
    brackets(*ssp, Olsynini, Olsynfin, Ilowbase, Iuppbase);
    if (Ilowbase == 0 || Iuppbase == 0) {
      report(console, log, {indent("[ReadTextBAS] Ilowbase--Iuppbase === 0")});
      fail();
      return true;
    }

    const std::vector<float>& lambda = ssp->lambda;
    if (Fverbose == 5) {
      for (std::size_t i = 0; i < lambda.size(); ++i) {
        console.say(textio::adj_f(lambda[i], 15, 5));
        console.say(textio::adj_f(ssp->column[i], 15, 5));
      }
    }
    // Both brackets exist, so at least two points were read.
    if (lambda.front() >= Olsynfin || Olsynini >= lambda.back()) {
      report(console, log,
             {indent("[Read_BASpec] Fit out of range allowed"), range_line(Olsynini, Olsynfin),
              range_line(lambda.front(), lambda.back())});
      fail();
      return true;
    }
    if (listing) {
      if (lambda.front() > Olsynini) coverage_warning(console, "Olsynini", Olsynini, lambda.front());
      if (Olsynfin > lambda.back()) coverage_warning(console, "Olsynfin", Olsynfin, lambda.back());
    }
    // Equal neighbours pass here; StatsReNorm refuses them.
    if (ssp->decreases) {
      report(console, log, {indent("[Read_BASpec] λ is not incresing order")});
      fail();
      return true;
    }
    if (listing) row(console, r, age_base[j], met_base[j], alphbase[j]);
  }

  // Every SSP needs a stellar-mass fraction in (0, 1]; otherwise none is trusted.
  const auto reliable = std::count_if(Mst.begin(), Mst.end(), [](float m) { return m > 0.0f && m <= 1.0f; });
  if (reliable != Num_base) {
    report(console, log,
           {indent("[Read_BASpec] Stellar Mass % set === 0"),
            indent("[Read_BASpec] M* are not reliable @@@@")});
  }

  if (listing) {
    console.say("... Num base: " + textio::adj_i(Num_base, 10));
    console.say("... Num_ages: " + textio::adj_i(count_non_negative(aux_ages), 10));
    console.say("... Num_mets: " + textio::adj_i(count_non_negative(aux_mets), 10));
    console.say("... NOl_base: " + textio::adj_i(NOl_base, 10));
    console.say("... Ilowbase: " + textio::adj_i(Ilowbase, 10));
    console.say("... Iuppbase: " + textio::adj_i(Iuppbase, 10));
    console.say("[Read_BASpec]");
  }
  return true;
}

BaseGrid::BaseGrid(std::span<const float> grid)
    : lambda(grid),
      increasing(std::adjacent_find(grid.begin(), grid.end(), [](float a, float b) { return !(a < b); }) ==
                 grid.end()) {}

namespace {

template <class Interpolate>
float renorm(Console& console, float x, std::span<const float> grid, bool increasing,
             std::span<const float> F, int& IsKeepOn, Interpolate interpolate) {
  if (F.size() < grid.size()) F = F.first(0);  // never read past the curve
  const auto failure = [&](std::string_view message) {
    console.say(kProblemHeader);
    console.say(message);
    IsKeepOn = 0;
    return kSentinel;
  };
  // Strictly increasing: equal neighbours and NaN wavelengths break the order.
  if (!increasing) return failure("[StatsReNorm] λ is not in increasing @");
  // An empty grid has no range, and a NaN x lies nowhere on it.
  if (grid.empty() || !(grid.front() <= x && x <= grid.back()))
    return failure("[StatsReNorm] λ is out of range @@@@@@");
  int ilastval = -999;  // a fresh bracket search from the first grid point
  return interpolate(x, grid, F.first(grid.size()), ilastval);
}

}  // namespace

float StatsReNorm(Console& console, float x, std::span<const float> b_lambda,
                  std::span<const float> F, int& IsKeepOn) {
  const bool increasing =
      std::adjacent_find(b_lambda.begin(), b_lambda.end(), [](float a, float b) { return !(a < b); }) ==
      b_lambda.end();
  return renorm(console, x, b_lambda, increasing, F, IsKeepOn, LINEAR1_Deg);
}

float StatsReNorm(Console& console, float x, const BaseGrid& grid, std::span<const float> F,
                  int& IsKeepOn) {
  return renorm(console, x, grid.lambda, grid.increasing, F, IsKeepOn, LINEAR1_Deg_increasing);
}

}  // namespace veltrane
