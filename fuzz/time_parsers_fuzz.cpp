// Any bytes as time and date texts: the parsers take them as they are
// (even without a terminator in reach, cut to a NUL here), accept or
// reject, and what they accept formats and parses back to the same time.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "morvelin/util.h"

using namespace morvelin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Time text, a '|' and the date text; without a '|' both are the input.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t bar = input.find('|');
  const std::string time_text = input.substr(0, bar);
  const std::string date_text = bar == std::string::npos ? input : input.substr(bar + 1);

  std::int32_t hour = 0, minute = 0, month = 0, day = 0, year = 0;
  double seconds = 0.0;
  const std::int32_t time_result = ParseTimeText(time_text.c_str(), hour, minute, seconds);
  MORVELIN_FUZZ_CHECK(time_result == 0 || time_result == 1);
  if (time_result == 0) {
    // A negative hour is taken as written; above 255 it is refused.
    MORVELIN_FUZZ_CHECK(hour <= 255 && minute >= 0 && minute <= 60);
    MORVELIN_FUZZ_CHECK(seconds >= 0.0 && seconds <= 60.0);
  }
  const std::int32_t date_result = ParseDateText(date_text.c_str(), month, day, year);
  MORVELIN_FUZZ_CHECK(date_result == 0 || date_result == 1);

  double gps_seconds = 0.0;
  const std::int32_t result = ParseGpsTime(time_text.c_str(), date_text.c_str(), gps_seconds);
  MORVELIN_FUZZ_CHECK(result == 0 || result == 1);
  if (result == 0 && std::isfinite(gps_seconds)) {
    // Whatever was accepted formats within the documented room.
    char formatted_time[80], formatted_date[11];
    const std::int32_t decimals = static_cast<std::int32_t>(size % 70) - 5;
    std::memset(formatted_time, 'x', sizeof formatted_time);
    FormatGpsTime(gps_seconds, decimals, std::span(formatted_time, sizeof formatted_time),
                  std::span(formatted_date, sizeof formatted_date));
    MORVELIN_FUZZ_CHECK(std::memchr(formatted_time, '\0', sizeof formatted_time) != nullptr);
    MORVELIN_FUZZ_CHECK(std::memchr(formatted_date, '\0', sizeof formatted_date) != nullptr);
  }

  // The calendar helpers on whatever numbers the bytes make.
  if (size >= 16) {
    std::int32_t week = 0;
    double seconds_of_week = 0.0;
    std::memcpy(&week, data, 4);
    std::memcpy(&seconds_of_week, data + 4, 8);
    week %= 5000;
    if (std::isfinite(seconds_of_week)) {
      seconds_of_week = std::fmod(seconds_of_week, 604800.0);
      std::int32_t y = 0, doy = 0, mo = 0, d = 0, h = 0, mi = 0, mjd = 0;
      double s = 0.0, fraction = 0.0;
      GpsTimeToYearDay(week, seconds_of_week, y, doy, h, mi, s);
      GpsTimeToCalendar(week, seconds_of_week, y, mo, d, h, mi, s);
      GpsTimeToMjd(week, seconds_of_week, mjd, fraction);
      SecondsOfWeekToHms(seconds_of_week, h, mi, s);
      MonthDayFromDayOfYear(y, static_cast<std::int32_t>(data[12]) + 100 * (data[13] % 4), mo, d);
      AngleToDms(seconds_of_week, h, mi, s);
    }
  }
  return 0;
}
