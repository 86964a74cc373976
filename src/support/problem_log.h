// The problem report: the one record in which a routine writes a problem of the current
// model to the model's log (".LOG"): the header line, its message lines and a date line.
// Routines hand their reports to a ProblemLog, which the driver owns for each model and
// writes to the file (or not) when the model ends.
#pragma once

#include <cstddef>
#include <ctime>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

class Console;

inline constexpr std::string_view kProblemHeader = "[PROBLEM_FIT] @@@@@@@@@@@@@@@@@@@@@@@@";

enum class LogMode {
  append,   // the report is added after what the log holds (extinction laws, end of model)
  rewrite,  // the report becomes the log's whole content (the readers)
};
enum class DateLine {
  vesk,  // "    VESK - " and the date
  bare,  // "    " and the date (the synthesis result reader)
};

// The 24-character classic C-library time stamp of the local time, without its newline
// ("Sun Dec  6 08:50:04 2026").
std::string date_stamp();
// The same stamp of a given broken-down time.
std::string date_stamp(const std::tm& local);

// The reports of one model, in order, as they would have reached the log file: each with
// its mode, its text ("    " + header, the lines as given, the date line) and how much the
// console held when it was made (a log that cannot be written ends the run there). The texts
// lie back to back in one buffer, which restart() keeps for the next model: a galaxy whose
// extinction law reports a hundred points allocates nothing for them once the buffer is grown.
class ProblemLog {
 public:
  struct Report {
    LogMode mode;
    std::size_t begin, size;  // its text in the buffer
    std::size_t console_at;
  };
  // `console` (optional) is the model's console, whose length each report records.
  explicit ProblemLog(const Console* console = nullptr) : console_(console) {}
  // No report any more, and `console` the model's; the buffers are kept.
  void restart(const Console* console) {
    console_ = console;
    reports_.clear();
    text_.clear();
  }

  void report(LogMode mode, std::span<const std::string> lines, DateLine date = DateLine::vesk);
  void report(LogMode mode, std::initializer_list<std::string> lines, DateLine date = DateLine::vesk);
  // The same report from its lines already made into records (each ending in a newline).
  void report_text(LogMode mode, std::string_view records, DateLine date = DateLine::vesk);

  // No console any more (it is gone): later reports record 0.
  void detach() { console_ = nullptr; }

  const std::vector<Report>& reports() const { return reports_; }
  // A report's text, valid until the next report or restart.
  std::string_view text(const Report& r) const { return std::string_view(text_).substr(r.begin, r.size); }
  bool empty() const { return reports_.empty(); }
  // What the file holds after the reports: `rewrite` is true when the last rewriting report
  // replaces the content (then `text` is all of it), false when `text` is appended. The text
  // is valid until the next report or restart.
  struct Content {
    bool rewrite = false;
    std::string_view text;
  };
  Content content() const;

 private:
  // date_stamp() of now, converted once per second.
  const std::string& stamp();

  const Console* console_;
  std::vector<Report> reports_;
  std::string text_;  // the reports' texts in order
  std::string stamp_;
  std::time_t stamp_time_ = 0;
};

// Indented message line "(4x,a)".
inline std::string indent(std::string_view text) { return "    " + std::string(text); }

}  // namespace veltrane
