#include "support/problem_log.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "support/console.h"

namespace veltrane {

std::string date_stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  // The classic asctime layout: "Www Mmm dd hh:mm:ss yyyy".
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday % 7], kMonths[local.tm_mon % 12],
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
  return buf;
}

void ProblemLog::report(LogMode mode, std::span<const std::string> lines, DateLine date) {
  std::string text;
  text.append("    ").append(kProblemHeader).push_back('\n');
  for (const std::string& l : lines) text.append(l).push_back('\n');
  // verbatim: "VESK - ", the prefix of the date line of every report but the result reader's.
  text.append(date == DateLine::vesk ? "    VESK - " : "    ").append(date_stamp()).push_back('\n');
  reports_.push_back({mode, std::move(text), console_ ? console_->captured().size() : 0});
}

void ProblemLog::report(LogMode mode, std::initializer_list<std::string> lines, DateLine date) {
  const std::vector<std::string> v(lines);
  report(mode, std::span<const std::string>(v), date);
}

ProblemLog::Content ProblemLog::content() const {
  Content c;
  for (const Report& r : reports_) {
    if (r.mode == LogMode::rewrite) {
      c.rewrite = true;
      c.text.clear();
    }
    c.text += r.text;
  }
  return c;
}

}  // namespace veltrane
