// Saying where a filter set that cannot be loaded went wrong: its files read again,
// statement by statement as a run reads them, for the first file and record at fault.
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "cache/input_cache.h"
#include "facade_internal.h"
#include "support/limits.h"
#include "textio/list_input.h"

namespace veltrane::facade::detail {

namespace {

using textio::ListRead;
using textio::ReadStatus;
using textio::RecordFile;

constexpr std::array<const char*, 3> kStandards = {"VegaLR.dat", "Sun_LR.dat", "BD+17d4708.dat"};

// The whole of a regular file (a directory or a file that cannot be read: ok false).
std::string read_file(const std::string& path, bool& ok) {
  std::string text;
  ok = false;
  if (!regular_file_at(path)) return text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  ok = std::ferror(f) == 0;
  std::fclose(f);
  return text;
}

// A text file split into its records, read statement by statement as a run reads it, for
// saying where a run's reading went wrong. A statement that needs more values than its first
// record holds goes on into the next ones, as in a run.
class RecordScan {
 public:
  explicit RecordScan(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
      const std::size_t end = text.find('\n', at);
      if (end == std::string::npos) {
        lines_.push_back(text.substr(at));
        break;
      }
      lines_.push_back(text.substr(at, end - at));
      at = end + 1;
    }
  }
  // Runs `items` on a ListRead of the next statement; its status, first record and message.
  template <class Items>
  ReadStatus statement(Items items) {
    record_ = int(next_) + 1;
    message_.clear();
    if (next_ >= lines_.size()) return ReadStatus::end_of_file;
    std::string joined;
    for (std::size_t m = next_; m < lines_.size(); ++m) {
      joined += lines_[m];
      joined += '\n';
      RecordFile file = RecordFile::from_string(joined);
      ListRead r(file);
      items(r);
      if (r.status() != ReadStatus::end_of_file || m + 1 == lines_.size()) {
        next_ = m + 1;
        message_ = r.message();
        return r.status();
      }
    }
    return ReadStatus::end_of_file;
  }
  int record() const { return record_; }
  std::string line() const {
    const std::string& l = lines_[std::size_t(record_ - 1)];
    return l.size() > 60 ? l.substr(0, 60) + "..." : l;
  }
  std::string message() const { return message_; }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  int record_ = 0;
  std::string message_;
};

struct Problem {
  std::string path;
  int record = 0;
  std::string what;
};

// Messages name a file as the list does, without its directory (Problem::path has it).
std::string file_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

Problem unreadable(const std::string& path) {
  return {path, 0, file_name(path) + ": cannot be opened (missing, a directory or not readable)"};
}

Problem at_record(const std::string& path, const RecordScan& scan, const std::string& what) {
  return {path, scan.record(), file_name(path) + " record " + std::to_string(scan.record()) + ": " + what};
}

std::string found(const RecordScan& scan) {
  return "found '" + scan.line() + "'" + (scan.message().empty() ? "" : " (" + scan.message() + ")");
}

// The first fault of a standard spectrum: "label N", then N samples, N from 2 to 10,000.
std::optional<Problem> standard_problem(const std::string& path, std::vector<float>* lambda) {
  bool ok = false;
  const std::string text = read_file(path, ok);
  if (!ok) return unreadable(path);
  RecordScan scan(text);
  std::string label;
  std::int32_t n = 0;
  if (scan.statement([&](ListRead& r) {
        r.text(label);
        r.integer(n);
      }) != ReadStatus::ok)
    return at_record(path, scan, "expected a label and the number of samples, " + found(scan));
  if (n < 2 || n > kMaxPoints)
    return at_record(path, scan, "announces " + std::to_string(n) + " samples; a standard spectrum holds 2 to 10,000");
  for (std::int32_t j = 0; j < n; ++j) {
    float l = 0.0f, f = 0.0f;
    const ReadStatus st = scan.statement([&](ListRead& r) {
      r.real(l);
      r.real(f);
    });
    if (st == ReadStatus::end_of_file)
      return Problem{
          path, 0, file_name(path) + ": ends after " + std::to_string(j) + " of its " + std::to_string(n) + " samples"};
    if (st == ReadStatus::error)
      return at_record(path, scan, "expected two numbers (wavelength in Å, flux), " + found(scan));
    if (lambda) lambda->push_back(l);
  }
  return std::nullopt;
}

// The records of a filter curve's samples (1-based), as a run reads them.
struct CurveScan {
  std::optional<Problem> problem;
  std::vector<int> records;
  std::vector<float> lambda;
};
CurveScan scan_curve(const std::string& path) {
  CurveScan c;
  bool ok = false;
  const std::string text = read_file(path, ok);
  if (!ok) {
    c.problem = unreadable(path);
    return c;
  }
  RecordScan scan(text);
  for (int r = 0; r < kFilterHeader; ++r) {
    const ReadStatus st = scan.statement([](ListRead& rd) { rd.skip(); });
    if (st == ReadStatus::end_of_file) return c;
    if (st == ReadStatus::error) {
      c.problem = at_record(path, scan, "cannot be read, " + found(scan));
      return c;
    }
  }
  while (int(c.lambda.size()) < kMaxPoints) {
    float l = kSentinel, t = kSentinel;
    const ReadStatus st = scan.statement([&](ListRead& r) {
      r.real(l);
      r.real(t);
    });
    if (st == ReadStatus::end_of_file) break;
    if (st == ReadStatus::error) {
      c.problem = at_record(path, scan, "expected two numbers (wavelength in Å, transmission), " + found(scan));
      return c;
    }
    c.records.push_back(scan.record());
    c.lambda.push_back(l);
  }
  return c;
}

// The first sample (0-based) not above the one before, or -1.
int first_not_increasing(const std::vector<float>& l) {
  for (std::size_t k = 1; k < l.size(); ++k)
    if (!(l[k - 1] < l[k])) return int(k);
  return -1;
}

// Sample k (0-based, at `record` of the file at `path` listed as `name`) not above the one before.
Problem out_of_order(const std::string& path, const std::string& name, int record, const std::vector<float>& l, int k) {
  return {path, record,
          name + " record " + std::to_string(record) + ": wavelengths must increase strictly (" +
              show(l[std::size_t(k)]) + " Å after " + show(l[std::size_t(k - 1)]) + " Å)"};
}

// Where the reading or the calibration of the set in `dir` went wrong, in the order a run reads.
Problem diagnose(const std::string& dir) {
  for (const char* name : kStandards) {
    std::vector<float> lambda;
    if (auto p = standard_problem(dir + name, &lambda)) return *p;
    if (const int k = first_not_increasing(lambda); k >= 0) return out_of_order(dir + name, name, k + 2, lambda, k);
  }
  const std::string list_path = dir + kList;
  bool ok = false;
  const std::string text = read_file(list_path, ok);
  if (!ok) return unreadable(list_path);
  RecordScan list(text);
  std::int32_t count = 0;
  if (list.statement([&](ListRead& r) { r.integer(count); }) != ReadStatus::ok)
    return at_record(list_path, list, "expected the number of filters, " + found(list));
  if (count > kMaxFilters)
    return at_record(list_path, list,
                     "announces " + std::to_string(count) + " filters; a filter set holds at most 300");
  for (std::int32_t i = 0; i < count; ++i) {
    std::string name;
    const ReadStatus st = list.statement([&](ListRead& r) { r.text(name); });
    if (st != ReadStatus::ok)
      return Problem{list_path, list.record(),
                     std::string(kList) + ": announces " + std::to_string(count) + " filters but its filter " +
                         std::to_string(i + 1) + " cannot be read (" +
                         (st == ReadStatus::end_of_file ? std::string("end of file") : found(list)) + ")"};
    const std::string path = dir + name;
    const int listed = list.record();
    const CurveScan c = scan_curve(path);
    if (c.problem) {
      Problem p = *c.problem;
      p.what += " (filter " + std::to_string(i + 1) + " of " + kList + ", record " + std::to_string(listed) + ")";
      return p;
    }
    if (c.lambda.size() == 1)
      return {path, c.records[0],
              name + ": a filter curve needs two samples or more; it has one (record " + std::to_string(c.records[0]) +
                  ")"};
    if (const int k = first_not_increasing(c.lambda); k >= 0)
      return out_of_order(path, name, c.records[std::size_t(k)], c.lambda, k);
  }
  return {dir, 0, ""};
}

}  // namespace

[[noreturn]] void filter_set_error(const std::string& dir, const Console& console) {
  Problem p = diagnose(dir);
  std::string what = "cannot load the filter set in '" + dir + "': ";
  if (p.what.empty()) {
    // Nothing found by reading the files again: what the run printed is all there is.
    what += "the calibration failed";
    p.path = dir;
  } else {
    what += p.what;
  }
  throw Error(Fault::filter_file, what, p.path, p.record, console.captured());
}

}  // namespace veltrane::facade::detail
