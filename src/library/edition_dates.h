// Dates of the Morning Paper: today in local time, the label of an edition named by its date, the
// order of editions, and the wake time's steps.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct CivilDate {
  int64_t year;
  int month;    // 1..12
  int day;      // 1..31
  int weekday;  // 0 = Sunday
};

// The civil date of a day number (days since 1 January 1970).
CivilDate civil_from_days(int64_t days);
// The local date at `utc_seconds` for an offset of `offset_min` minutes east of UTC.
CivilDate local_date(int64_t utc_seconds, int32_t offset_min);
// "Today  ·  " + weekday, month and day, in capitals.
std::string today_label(const CivilDate& date);
// "YYYY-MM-DD", as edition file names begin.
std::string today_key(const CivilDate& date);
// "Friday, May 10" for a name beginning "2024-05-10"; the name itself when it begins with no
// such date (the day is not checked against the month's length).
std::string edition_date_label(std::string_view name);
// True when the edition named `a` goes before `b`: names compared byte by byte, the greater first,
// the longer first when one begins the other; newest first for dated names.
bool morning_edition_newer_first(std::string_view a, std::string_view b);
// The wake time moved by `delta` minutes, wrapped into one day; hour and minute through the
// references.
void wake_time_step(int32_t& hour, int32_t& minute, int delta);
