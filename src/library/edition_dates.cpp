#include "library/edition_dates.h"

#include <array>
#include <cstdio>

#include "base/utf8.h"

namespace {

constexpr std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",
                                                 "May",     "June",     "July",      "August",
                                                 "September", "October", "November", "December"};
constexpr int64_t kSecondsPerDay = 86400;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1 January 1970 of a civil date (March-based years in eras of 400 years).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int weekday_of(int64_t days) { return static_cast<int>(((days + 4) % 7 + 7) % 7); }

bool digits(std::string_view s) {
  for (char c : s) {
    if (!ascii_digit(c)) return false;
  }
  return true;
}

int number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

std::string day_text(const CivilDate& d) {
  return std::string(kWeekdays[d.weekday]) + ", " + kMonths[d.month - 1] + " " +
         std::to_string(d.day);
}

}  // namespace

CivilDate civil_from_days(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2), month, day, weekday_of(days)};
}

CivilDate local_date(int64_t utc_seconds, int32_t offset_min) {
  return civil_from_days(floor_div(utc_seconds + int64_t{offset_min} * 60, kSecondsPerDay));
}

std::string today_label(const CivilDate& date) {
  return "Today  \xC2\xB7  " + ascii_upper(day_text(date));
}

std::string today_key(const CivilDate& date) {
  char key[32];
  snprintf(key, sizeof key, "%04lld-%02d-%02d", static_cast<long long>(date.year), date.month,
           date.day);
  return key;
}

std::string edition_date_label(std::string_view name) {
  if (name.size() < 10 || !digits(name.substr(0, 4)) || !digits(name.substr(5, 2)) ||
      !digits(name.substr(8, 2))) {
    return std::string(name);
  }
  const int month = number(name.substr(5, 2));
  if (month < 1 || month > 12) return std::string(name);
  const int day = number(name.substr(8, 2));
  const int64_t days = days_from_civil(number(name.substr(0, 4)), month, day);
  return day_text({0, month, day, weekday_of(days)});
}

bool morning_edition_newer_first(std::string_view a, std::string_view b) {
  // string_view compares bytes as unsigned and puts a prefix first.
  return a.compare(b) > 0;
}

void wake_time_step(int32_t& hour, int32_t& minute, int delta) {
  constexpr int kDay = 24 * 60;
  const int total = ((hour * 60 + minute + delta) % kDay + kDay) % kDay;
  hour = total / 60;
  minute = total % 60;
}
