#include "numerics/problem_log.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "numerics/common.h"
#include "numerics/console.h"
#include "textio/format.h"

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
  std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday % 7],
                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, local.tm_year + 1900);
  return buf;
}

void fail_cannot_write(Console& console, std::string_view path) {
  console.say("... ERROR -> Cannot write " + std::string(textio::adjust_trim(path)));
  console.flush();
  throw RunStop(1, "cannot write " + std::string(path));
}

void write_problem_report(Console& console, std::string_view path, LogMode mode,
                          std::span<const std::string> lines, DateLine date) {
  const std::string name(textio::trim_right(path));
  std::string text;
  text.append("    ").append(kProblemHeader).push_back('\n');
  for (const std::string& l : lines) text.append(l).push_back('\n');
  text.append(date == DateLine::vesk ? "    VESK - " : "    ").append(date_stamp()).push_back('\n');

  std::FILE* f = std::fopen(name.c_str(), mode == LogMode::append ? "ab" : "wb");
  if (f == nullptr) fail_cannot_write(console, name);
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) fail_cannot_write(console, name);
}

void write_problem_report(Console& console, std::string_view path, LogMode mode,
                          std::initializer_list<std::string> lines, DateLine date) {
  std::vector<std::string> v(lines);
  write_problem_report(console, path, mode, std::span<const std::string>(v), date);
}

}  // namespace veltrane
