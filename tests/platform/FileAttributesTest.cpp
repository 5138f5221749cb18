// Entry times: converting with the zone read once gives mktime's results, also around the
// changes of offset (summer time, half-hour changes, a skipped day).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/FileAttributes.h"

namespace varnel {
namespace {

TEST(LocalTimeZone, ConvertsAsMktimeDoesInEveryZone) {
  const char* saved = std::getenv("TZ");
  std::string before = saved ? saved : "";
  for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                           "Pacific/Apia", "America/Santiago"}) {
    SCOPED_TRACE(zone);
    setenv("TZ", zone, 1);
    TLocalTimeZone converter;
    int mismatches = 0;
    for (int year : {2011, 2024}) {
      // Day 31 of every month, so the days past a month's end count on as in mktime.
      for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= 31; ++day) {
          for (int hour = 0; hour < 24; ++hour) {
            for (int minute : {0, 30, 59}) {
              struct tm t {};
              t.tm_year = year - 1900;
              t.tm_mon = month - 1;
              t.tm_mday = day;
              t.tm_hour = hour;
              t.tm_min = minute;
              t.tm_sec = 58;
              t.tm_isdst = -1;
              time_t expected = mktime(&t);
              uint32_t dos = ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) |
                             (minute << 5) | 29;
              // A time in another month first, so the converter's last offset is not the one
              // mktime last used.
              int64_t seconds = 0;
              converter.ToUnixTime(dos ^ (6u << 21), seconds);
              ASSERT_TRUE(converter.ToUnixTime(dos, seconds));
              mismatches += seconds != expected;
            }
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
  if (saved) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
}  // namespace varnel
