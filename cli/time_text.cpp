#include "time_text.h"

#include <charconv>
#include <system_error>

namespace morvelin::cli {

namespace {

bool Fixed2(std::string_view text, std::size_t at, int& value) {
  if (at + 2 > text.size()) return false;
  return ParseWhole(text.substr(at, 2), value);
}

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && year % 4 == 0 ? 29 : kDays[month - 1];
}

bool ParseWhole(std::string_view text, int& value) {
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseDecimalSeconds(std::string_view text, double& value, int& decimals) {
  if (text.empty()) return false;
  std::size_t dot = text.find('.');
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
  }
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  decimals = dot == std::string_view::npos ? 0 : static_cast<int>(text.size() - dot - 1);
  return true;
}

CalendarParse ParseCalendarTime(std::string_view when, CalendarTime& time) {
  time = CalendarTime{};
  const bool date_ok = when.size() >= 10 && ParseWhole(when.substr(0, 4), time.year) && when[4] == '-' &&
                       Fixed2(when, 5, time.month) && when[7] == '-' && Fixed2(when, 8, time.day);
  bool time_ok = date_ok;
  if (date_ok && when.size() > 10) {
    time_ok = (when[10] == 'T' || when[10] == ' ') && Fixed2(when, 11, time.hour) && when.size() > 13 &&
              when[13] == ':' && Fixed2(when, 14, time.minute);
    if (time_ok && when.size() > 16) {
      time_ok = when[16] == ':' && ParseDecimalSeconds(when.substr(17), time.seconds, time.decimals);
    } else if (time_ok) {
      time_ok = when.size() == 16;
    }
  }
  if (!time_ok) return CalendarParse::kNotTheForm;
  if (time.year < 1980 || time.year > 2099 || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > DaysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 || time.seconds >= 60.0)
    return CalendarParse::kNotADay;
  return CalendarParse::kDone;
}

}  // namespace morvelin::cli
