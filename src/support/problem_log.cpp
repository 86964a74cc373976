#include "support/problem_log.h"

#include <charconv>
#include <ctime>
#include <vector>

#include "support/console.h"

namespace veltrane {

std::string date_stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return date_stamp(local);
}

std::string date_stamp(const std::tm& local) {
  // The classic asctime layout: "Www Mmm dd hh:mm:ss yyyy", the day of the month blank-padded
  // to two columns, the time zero-padded (built by hand: no printf on a galaxy's path).
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto two = [](std::string& out, int v, char pad) {
    out.push_back(v < 10 ? pad : static_cast<char>('0' + v / 10 % 10));
    out.push_back(static_cast<char>('0' + v % 10));
  };
  std::string out;
  out.append(kDays[local.tm_wday % 7]).push_back(' ');
  out.append(kMonths[local.tm_mon % 12]).push_back(' ');
  two(out, local.tm_mday, ' ');
  out.push_back(' ');
  two(out, local.tm_hour, '0');
  out.push_back(':');
  two(out, local.tm_min, '0');
  out.push_back(':');
  two(out, local.tm_sec, '0');
  out.push_back(' ');
  char year[16];
  out.append(year, std::to_chars(year, year + sizeof year, local.tm_year + 1900).ptr);
  return out;
}

const std::string& ProblemLog::stamp() {
  // One conversion to local time per second, however many reports a galaxy makes in it.
  const std::time_t now = std::time(nullptr);
  if (stamp_.empty() || now != stamp_time_) {
    std::tm local{};
    localtime_r(&now, &local);
    stamp_ = date_stamp(local);
    stamp_time_ = now;
  }
  return stamp_;
}

void ProblemLog::report(LogMode mode, std::span<const std::string> lines, DateLine date) {
  std::string records;
  for (const std::string& l : lines) records.append(l).push_back('\n');
  report_text(mode, records, date);
}

void ProblemLog::report_text(LogMode mode, std::string_view records, DateLine date) {
  const std::size_t begin = text_.size();
  text_.append("    ").append(kProblemHeader).push_back('\n');
  text_.append(records);
  // verbatim: "VESK - ", the prefix of the date line of every report but the result reader's.
  text_.append(date == DateLine::vesk ? "    VESK - " : "    ").append(stamp()).push_back('\n');
  reports_.push_back({mode, begin, text_.size() - begin, console_ ? console_->captured().size() : 0});
}

void ProblemLog::report(LogMode mode, std::initializer_list<std::string> lines, DateLine date) {
  report(mode, std::span<const std::string>(lines.begin(), lines.size()), date);
}

ProblemLog::Content ProblemLog::content() const {
  // The texts lie in order: the content runs from the last rewriting report to the end.
  Content c;
  std::size_t from = 0;
  for (const Report& r : reports_)
    if (r.mode == LogMode::rewrite) {
      c.rewrite = true;
      from = r.begin;
    }
  c.text = std::string_view(text_).substr(from);
  return c;
}

}  // namespace veltrane
