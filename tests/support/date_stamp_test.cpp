// The problem log's date line against strftime's rendering of the same layout, and a few
// literal stamps (a one-digit day is blank-padded, the time zero-padded).
#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>

#include "support/problem_log.h"

namespace veltrane {
namespace {

std::tm at(int year, int mon, int mday, int hour, int min, int sec, int wday) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = mon;
  t.tm_mday = mday;
  t.tm_hour = hour;
  t.tm_min = min;
  t.tm_sec = sec;
  t.tm_wday = wday;
  return t;
}

TEST(DateStamp, ClassicLayout) {
  EXPECT_EQ(date_stamp(at(2026, 11, 6, 8, 50, 4, 0)), "Sun Dec  6 08:50:04 2026");
  EXPECT_EQ(date_stamp(at(1999, 0, 31, 23, 59, 59, 0)), "Sun Jan 31 23:59:59 1999");
  EXPECT_EQ(date_stamp(at(10000, 6, 10, 0, 0, 0, 3)), "Wed Jul 10 00:00:00 10000");
  std::mt19937 g(3);
  for (int i = 0; i < 2000; ++i) {
    const std::tm t = at(1900 + static_cast<int>(g() % 300), static_cast<int>(g() % 12), 1 + static_cast<int>(g() % 31),
                         static_cast<int>(g() % 24), static_cast<int>(g() % 60), static_cast<int>(g() % 61),
                         static_cast<int>(g() % 7));
    char want[64];
    std::strftime(want, sizeof want, "%a %b %e %H:%M:%S %Y", &t);  // C locale: the same names
    ASSERT_EQ(date_stamp(t), want);
  }
}

}  // namespace
}  // namespace veltrane
