// The problem report: the one record in which a routine writes a problem of the current
// model to the model's log (".LOG"): the header line, its message lines and a date line.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

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

// Writes one report to the log `path` (trailing blanks ignored): "    " + header, then each
// of `lines` exactly as given (callers add their own indent), then the date line; the file
// is closed afterwards. A log that cannot be opened or written ends the run: the message
// "    ... ERROR -> Cannot write <path>" goes to `console` and RunStop(1) is thrown.
void write_problem_report(Console& console, std::string_view path, LogMode mode,
                          std::span<const std::string> lines, DateLine date = DateLine::vesk);
void write_problem_report(Console& console, std::string_view path, LogMode mode,
                          std::initializer_list<std::string> lines,
                          DateLine date = DateLine::vesk);

// Indented message line "(4x,a)".
inline std::string indent(std::string_view text) { return "    " + std::string(text); }

// Prints "    ... ERROR -> Cannot write <path>" and throws RunStop(1).
[[noreturn]] void fail_cannot_write(Console& console, std::string_view path);

}  // namespace veltrane
