#include "readers/ssp_base.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "numerics/clean.h"
#include "numerics/file_check.h"
#include "numerics/problem_log.h"
#include "textio/format.h"
#include "textio/list_input.h"

namespace veltrane {
namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

// The reader's tables hold kMaxSsp SSPs; a larger count gets the "Whoops" report.
constexpr int kNbasemax = kMaxSsp;

// A report of the base reader: the header and `lines` on the console, then the same with
// the date line as the whole content of the log. `console_only` further lines go to the
// console alone (after `lines`).
void report(Console& console, std::string_view log_name, std::vector<std::string> lines,
            std::vector<std::string> console_only = {}) {
  console.say(kProblemHeader);
  for (const std::string& l : lines) console.line(l);
  for (const std::string& l : console_only) console.line(l);
  write_problem_report(console, log_name, LogMode::rewrite, std::span<const std::string>(lines));
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

std::string right15(std::string_view word) {
  std::string out(15 - word.size(), ' ');
  out.append(word);
  return out;
}

// "(4x,a,7(a15))": "filebase" cut or padded to the width of the first file name.
void column_header(Console& console, const std::string& first_file) {
  const std::size_t width = textio::used_part(first_file).size();
  std::string text = "filebase";
  text.resize(width, ' ');
  for (std::string_view w : {"age_base", "met_base", "cod_base", "Mst_base", "ind_exAV",
                             "alphbase", "QHc_base"}) {
    text += right15(w);
  }
  console.say(text);
}

// "(4x,a,2(e15.5),5x,a,4(e15.5))"
void row(Console& console, const SspBase& base, std::span<const float> age_base,
         std::span<const float> met_base, std::span<const float> alphbase, int j) {
  const auto k = static_cast<std::size_t>(j);
  std::string text(textio::adjust_trim(base.filebase[k]));
  text += textio::fmt_e(age_base[k], 15, 5);
  text += textio::fmt_e(met_base[k], 15, 5);
  text += "     ";
  text += textio::adjust_trim(base.cod_base[k]);
  text += textio::fmt_e(base.Mst_base[k], 15, 5);
  text += textio::fmt_e(base.ind_exAV[k], 15, 5);
  text += textio::fmt_e(alphbase[k], 15, 5);
  text += textio::fmt_e(base.QHc_base[k], 15, 5);
  console.say(text);
}

// Records at the top of the file whose first character is "#" (an end of file ends them).
int header_length(RecordFile& file) {
  int h = 0;
  char c = ' ';
  while (textio::read_first_char(file, c) == ReadStatus::ok && c == '#') ++h;
  return h;
}

// Distinct ages and metallicities: a value not met before is kept at the SSP's own place in
// the work list, so the count of non-negative entries is the count of distinct values.
void note_distinct(std::vector<float>& seen, std::size_t k, float v) {
  if (std::find(seen.begin(), seen.end(), v) == seen.end()) seen[k] = v;
}

int count_non_negative(const std::vector<float>& seen) {
  return static_cast<int>(std::count_if(seen.begin(), seen.end(), [](float v) { return v >= 0.0f; }));
}

}  // namespace

void ReadTextBAS(Console& console, SspBase& base, int k, std::string_view arq_file,
                 float Olsynini, float Olsynfin, std::string_view log_name, int& IsKeepOn) {
  if (k < 0 || k >= kMaxSsp) throw std::out_of_range("ReadTextBAS: SSP index");
  const std::string path(textio::trim_right(arq_file));

  // The header is counted on a first reading; the points are read from a second one, so a
  // record is taken as a point only after the whole header has been passed.
  int h = 0;
  {
    std::optional<RecordFile> scan = RecordFile::open(path);
    if (scan) h = header_length(*scan);
  }
  std::optional<RecordFile> file = RecordFile::open(path);
  if (!file) {
    report(console, log_name,
           {indent("[ReadTextBAS] arq_file> does not exist"),
            indent("[ReadTextBAS] arq_file> " + std::string(textio::adjust_trim(arq_file)))});
    IsKeepOn = 0;
    console.flush();
    throw RunStop(1, "SSP file cannot be opened: " + path);
  }
  for (int i = 0; i < h; ++i) ListRead(*file).skip();

  float* const lambda = base.b_lambda.data();
  float* const flux = base.flux(k).data();
  base.Ilowbase = 0;
  base.Iuppbase = 0;
  for (int i = 1;; ++i) {
    ListRead rec(*file);
    const float before = lambda[i - 1];
    rec.real(lambda[i - 1]);
    const ReadStatus st = rec.real(flux[i - 1]);
    if (st == ReadStatus::end_of_file) {
      // A file cut inside its last point leaves no stray wavelength beyond the points read.
      lambda[i - 1] = before;
      base.NOl_base = i - 1;
      break;
    }
    if (st == ReadStatus::error) {
      report(console, log_name, {indent("[ReadTextBAS] arq_file> read problem @")});
      IsKeepOn = 0;
      return;
    }
    const float l = lambda[i - 1];
    if (Olsynini >= l) base.Ilowbase = i;
    if (i >= 2 && Olsynfin >= lambda[i - 2] && l > Olsynfin) base.Iuppbase = i;
    if (i == kMaxPoints) {
      report(console, log_name, {indent("[ReadTextBAS] NOl_base > N_lambda @@@@")});
      base.NOl_base = kMaxPoints;
      break;
    }
  }

  if (base.Ilowbase == 0 || base.Iuppbase == 0) {
    report(console, log_name, {indent("[ReadTextBAS] Ilowbase--Iuppbase === 0")});
    IsKeepOn = 0;
  }
}

void Read_BASpec(Console& console, SspBase& base, std::span<float> age_base,
                 std::span<float> met_base, std::span<float> alphbase, float Olsynini,
                 float Olsynfin, std::string& arq_base, std::string_view base_dir,
                 std::string_view log_name, int& Num_base, int& IsKeepOn, int Fverbose) {
  if (age_base.size() < std::size_t(kMaxSsp) || met_base.size() < std::size_t(kMaxSsp) ||
      alphbase.size() < std::size_t(kMaxSsp)) {
    throw std::invalid_argument("Read_BASpec: population columns need kMaxSsp entries");
  }
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
    report(console, log_name, {indent("[Read_BASpec] arq_base> does not exist")},
           {indent("[Read_BASpec] arq_base> " + path)});
    fail();
    console.flush();
    throw RunStop(1, "base file does not exist: " + path);
  }

  std::optional<RecordFile> file = RecordFile::open(std::string(textio::trim_right(arq_base)));
  const auto base_file_error = [&] {
    report(console, log_name, {indent("[Read_BASpec] Base File contains ERROR")});
    fail();
  };
  if (!file) return base_file_error();

  {
    std::int32_t count = Num_base;
    if (ListRead(*file).integer(count) == ReadStatus::error) return base_file_error();
    Num_base = count;  // an end of file keeps the synthesis result's count
  }

  if (Num_base > kNbasemax) {
    report(console, log_name,
           {indent("[Read_BASpec] Whoops-a-daisy--Num_base"),
            indent("[Read_BASpec] Num_base: " + textio::adj_i(Num_base)),
            indent("[Read_BASpec] Nbasemax: " + textio::adj_i(kNbasemax))});
    return fail();
  }

  if (listing) console.say("... Set_base: Reset arrays");
  std::fill(base.filebase.begin(), base.filebase.end(), "NONE");
  std::fill(base.cod_base.begin(), base.cod_base.end(), "NONE");
  CleanAClear(age_base.first(kMaxSsp), 1);
  CleanAClear(met_base.first(kMaxSsp));
  CleanAClear(base.Mst_base);
  CleanAClear(base.ind_exAV);
  CleanAClear(alphbase.first(kMaxSsp));
  CleanAClear(base.QHc_base, 1);
  CleanAClear(base.b_lambda, 1);
  CleanMClear(base.b_fluxes);

  const std::size_t n_ssp = static_cast<std::size_t>(std::max(Num_base, 0));
  std::vector<float> aux_ages(n_ssp, kSentinel);
  std::vector<float> aux_mets(n_ssp, kSentinel);

  if (listing) console.say("... VT__WARN: Wavelengths must have the same range for all SSPs");

  const std::string dir = textio::used_part(base_dir);
  for (std::size_t j = 0; j < n_ssp; ++j) {
    ListRead rec(*file);
    rec.text(base.filebase[j]);
    rec.real(age_base[j]);
    rec.real(met_base[j]);
    rec.text(base.cod_base[j]);
    rec.real(base.Mst_base[j]);
    rec.real(base.ind_exAV[j]);
    rec.real(alphbase[j]);
    if (j == 0 && listing) column_header(console, base.filebase[0]);
    note_distinct(aux_ages, j, age_base[j]);
    note_distinct(aux_mets, j, met_base[j]);
    if (rec.status() == ReadStatus::error) return base_file_error();

    const std::string arq_file = textio::cut_text(dir + base.filebase[j]);
    ReadTextBAS(console, base, static_cast<int>(j), arq_file, Olsynini, Olsynfin, log_name,
                IsKeepOn);
    if (IsKeepOn == 0) return fail();

    const auto npts = static_cast<std::size_t>(base.NOl_base);
    const std::span<const float> lambda(base.b_lambda.data(), npts);
    if (Fverbose == 5) {
      const std::span<const float> flux = base.flux(static_cast<int>(j)).first(npts);
      for (std::size_t i = 0; i < npts; ++i) {
        console.say(textio::adj_f(lambda[i], 15, 5));
        console.say(textio::adj_f(flux[i], 15, 5));
      }
    }

    // A successful ReadTextBAS has read at least two points.
    if (lambda.front() >= Olsynfin || Olsynini >= lambda.back()) {
      report(console, log_name,
             {indent("[Read_BASpec] Fit out of range allowed"), range_line(Olsynini, Olsynfin),
              range_line(lambda.front(), lambda.back())});
      return fail();
    }
    if (listing) {
      if (lambda.front() > Olsynini) coverage_warning(console, "Olsynini", Olsynini, lambda.front());
      if (Olsynfin > lambda.back()) coverage_warning(console, "Olsynfin", Olsynfin, lambda.back());
    }

    // Equal neighbours pass here; StatsReNorm refuses them.
    if (std::adjacent_find(lambda.begin(), lambda.end(), std::greater<float>()) != lambda.end()) {
      report(console, log_name, {indent("[Read_BASpec] λ is not incresing order")});
      return fail();
    }

    if (listing) row(console, base, age_base, met_base, alphbase, static_cast<int>(j));
  }
  file.reset();

  base.Num_ages = count_non_negative(aux_ages);
  base.Num_mets = count_non_negative(aux_mets);

  // Every SSP needs a stellar-mass fraction in (0, 1]; otherwise none is trusted.
  const auto reliable = std::count_if(base.Mst_base.begin(), base.Mst_base.end(),
                                      [](float m) { return m > 0.0f && m <= 1.0f; });
  if (reliable != Num_base) {
    CleanAClear(base.Mst_base);
    report(console, log_name,
           {indent("[Read_BASpec] Stellar Mass % set === 0"),
            indent("[Read_BASpec] M* are not reliable @@@@")});
  }

  if (listing) {
    console.say("... Num base: " + textio::adj_i(Num_base, 10));
    console.say("... Num_ages: " + textio::adj_i(base.Num_ages, 10));
    console.say("... Num_mets: " + textio::adj_i(base.Num_mets, 10));
    console.say("... NOl_base: " + textio::adj_i(base.NOl_base, 10));
    console.say("... Ilowbase: " + textio::adj_i(base.Ilowbase, 10));
    console.say("... Iuppbase: " + textio::adj_i(base.Iuppbase, 10));
    console.say("[Read_BASpec]");
  }
}

}  // namespace veltrane
