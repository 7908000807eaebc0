// The time zones the device can be set to; tz.txt receives the chosen zone's TZ string.
#pragma once
#include <array>
#include <cstdint>

enum DstRule : uint32_t {
  DST_NONE = 0,
  DST_EUROPE = 1,  // last Sunday of March to last Sunday of October
  DST_US = 2,      // second Sunday of March to first Sunday of November
};

struct TimeZone {
  const char* label;
  const char* posix_tz;
  int32_t offset_min;  // standard offset from UTC
  DstRule dst;
};

constexpr std::array<TimeZone, 7> time_zones = {{
    {"Atlantic/Madeira (WET/WEST)", "WET0WEST,M3.5.0/1,M10.5.0", 0, DST_EUROPE},
    {"UTC", "UTC0", 0, DST_NONE},
    {"Europe/Helsinki (EET/EEST)", "EET-2EEST,M3.5.0/3,M10.5.0/4", 120, DST_EUROPE},
    {"Europe/Berlin (CET/CEST)", "CET-1CEST,M3.5.0,M10.5.0/3", 60, DST_EUROPE},
    {"Europe/London (GMT/BST)", "GMT0BST,M3.5.0/1,M10.5.0", 0, DST_EUROPE},
    {"America/New_York", "EST5EDT,M3.2.0,M11.1.0", -300, DST_US},
    {"America/Los_Angeles", "PST8PDT,M3.2.0,M11.1.0", -480, DST_US},
}};
